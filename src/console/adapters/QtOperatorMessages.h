#pragma once
// The operator's message boxes: an information box with an OK button, the text shown as plain
// text (never read as markup, whatever it holds).
//
// Thread contract: construct and configure on the main thread. ShowMessage may be called from
// any thread, and nobody but the operator's own command ever waits for an answer:
// - From the main thread, in the middle of an operator's command: a modal box; the call returns
//   once the operator has answered it (the command goes on only then).
// - From the main thread inside a TAsynchronous scope (the engine tick): a box that is not modal;
//   the call returns at once. A modal box would run an event loop of its own inside the tick, in
//   which no further tick may run, and every running program would stand still while it is open.
// - From a worker thread: the text is queued to the main thread and the worker goes on at once;
//   it shows there as a box that is not modal. A worker that waits for an operator holds its
//   instrument out of every stop until someone answers.
// Boxes are not stacked: a modal box with the same text as one still open, or a box that is not
// modal from the same source as one still open (the same worker thread; on the main thread the
// same text), is not shown again; its text goes to the log given to SetNotShownLog, so that
// nothing is lost. After RedirectTo, no box shows any more: every text goes to the redirect
// (a close by signal, where nobody may be there to answer).
#include "platform/OperatorMessages.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QMessageBox;
class QWidget;

class TQtOperatorMessages final : public OperatorMessages {
public:
    using TTextSink = std::function<void(const std::string&)>;

    TQtOperatorMessages();
    ~TQtOperatorMessages() override;

    void ShowMessage(const std::string& text) override;

    // The window the boxes belong to: they stay in front of it and go with it.
    void SetParentWindow(QWidget* window);
    void SetNotShownLog(TTextSink log);
    void RedirectTo(TTextSink redirect);
    // Closes every box now open; a modal one returns to its caller as if answered.
    void CloseAll();
    bool ModalBoxOpen() const { return !modal_.isEmpty(); }

    // While one exists, boxes asked for on the main thread are not modal. Main thread; nests.
    class TAsynchronous {
    public:
        explicit TAsynchronous(TQtOperatorMessages& messages) : messages_(messages) {
            ++messages_.asynchronousDepth_;
        }
        ~TAsynchronous() { --messages_.asynchronousDepth_; }
        TAsynchronous(const TAsynchronous&) = delete;
        TAsynchronous& operator=(const TAsynchronous&) = delete;

    private:
        TQtOperatorMessages& messages_;
    };

private:
    void ShowModal(const QString& text);
    void ShowNotModal(const QString& source, const QString& text);
    QMessageBox* MakeBox(const QString& text);
    void NotShown(const QString& text) const;

    std::unique_ptr<QObject> anchor_;
    QPointer<QWidget> window_;
    TTextSink notShownLog_;
    TTextSink redirect_;
    int asynchronousDepth_ = 0;
    // Main thread only: the boxes now open, modal ones by text, the others by source.
    QHash<QString, QPointer<QMessageBox>> modal_;
    QHash<QString, QPointer<QMessageBox>> notModal_;
};
