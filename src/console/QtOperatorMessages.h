#pragma once
// The operator's message boxes: an information box with an OK button, the text shown as plain
// text (never read as markup, whatever it holds).
//
// Thread contract: construct on the main thread. ShowMessage may be called from any thread; from
// a worker it is marshalled into the main thread with a blocking queued call, so the worker waits
// until the operator has answered. A box with the same text as one still open is not stacked on
// it: that call returns at once. (A box opened inside the engine tick lets the event loop run,
// and the next ticks would otherwise pile up copies of the same complaint.)
#include "platform/OperatorMessages.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

class TQtOperatorMessages final : public OperatorMessages {
public:
    TQtOperatorMessages();
    ~TQtOperatorMessages() override;

    void ShowMessage(const std::string& text) override;

private:
    void ShowOnMainThread(const QString& text);

    std::unique_ptr<QObject> anchor_;
    QSet<QString> open_; // texts of the boxes now open; main thread only
};
