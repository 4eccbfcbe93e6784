#pragma once
// The diagnostic message sink as a window of its own: one line per message (category, time,
// text) and a check box per category that switches the category on or off for every unit.
//
// Thread contract: construct and use as a widget on the main thread. Send may be called from any
// thread: messages are queued and shown by the main thread in batches, so a flood of traces
// costs the sender a lock and a list append. Both the queue and the lines shown are bounded; what
// does not fit is dropped and counted, as a diagnostic sink may. Uninstall the sink
// (SetDiagnostics(nullptr)) and stop the workers before destroying the viewer.
#include "platform/Diagnostics.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <mutex>

class QCheckBox;
class QPlainTextEdit;
class QVBoxLayout;

class TDiagnosticsViewer : public QWidget, public Diagnostics {
    Q_OBJECT
public:
    static constexpr int MaxLines = 10000;
    static constexpr int MaxQueued = 5000;

    explicit TDiagnosticsViewer(QWidget* parent = nullptr);

    void Send(const std::string& category, const std::string& text) override;

    QPlainTextEdit* Lines() const { return lines_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct TMessage {
        QString Category;
        QString Time;
        QString Text;
    };
    void ShowQueued();
    QCheckBox* CategoryBox(const QString& category);

    QPlainTextEdit* lines_;
    QVBoxLayout* categories_;
    QMap<QString, QCheckBox*> boxes_;

    std::mutex mutex_;
    QList<TMessage> queued_;   // guarded by mutex_
    int dropped_ = 0;          // guarded by mutex_
    bool showPending_ = false; // guarded by mutex_
};
