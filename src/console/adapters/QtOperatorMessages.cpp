#include "console/adapters/QtOperatorMessages.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QThread>

TQtOperatorMessages::TQtOperatorMessages() : anchor_(std::make_unique<QObject>()) {}

TQtOperatorMessages::~TQtOperatorMessages() {
    CloseAll();
}

void TQtOperatorMessages::SetParentWindow(QWidget* window) {
    window_ = window;
}

void TQtOperatorMessages::SetNotShownLog(TTextSink log) {
    notShownLog_ = std::move(log);
}

void TQtOperatorMessages::RedirectTo(TTextSink redirect) {
    redirect_ = std::move(redirect);
}

void TQtOperatorMessages::ShowMessage(const std::string& text) {
    const QString message = QString::fromStdString(text);
    if (QThread::currentThread() != anchor_->thread()) {
        const QString source =
            QStringLiteral("thread %1").arg(reinterpret_cast<quintptr>(QThread::currentThreadId()));
        // Posted, never waited for; a message that arrives after the sink is gone is dropped
        // with the anchor.
        QMetaObject::invokeMethod(
            anchor_.get(), [this, source, message] { ShowNotModal(source, message); },
            Qt::QueuedConnection);
        return;
    }
    if (redirect_) {
        redirect_(text);
        return;
    }
    if (asynchronousDepth_ > 0)
        ShowNotModal(message, message);
    else
        ShowModal(message);
}

QMessageBox* TQtOperatorMessages::MakeBox(const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Information, QGuiApplication::applicationDisplayName(),
                                text, QMessageBox::Ok, window_);
    box->setObjectName(QStringLiteral("OperatorMessageBox"));
    box->setTextFormat(Qt::PlainText);
    return box;
}

void TQtOperatorMessages::ShowModal(const QString& text) {
    if (modal_.contains(text))
        return;
    QPointer<QMessageBox> box = MakeBox(text);
    modal_.insert(text, box);
    box->exec();
    modal_.remove(text);
    delete box; // null when the window went with it
}

void TQtOperatorMessages::ShowNotModal(const QString& source, const QString& text) {
    if (redirect_) {
        redirect_(text.toStdString());
        return;
    }
    if (const QPointer<QMessageBox> open = notModal_.value(source); open && open->isVisible()) {
        NotShown(text);
        return;
    }
    QMessageBox* box = MakeBox(text);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // The entry goes null by itself when the box has gone.
    notModal_.insert(source, box);
    box->show();
}

void TQtOperatorMessages::NotShown(const QString& text) const {
    if (notShownLog_)
        notShownLog_("Not shown again while its box is open: " + text.toStdString());
}

void TQtOperatorMessages::CloseAll() {
    const QList<QPointer<QMessageBox>> modal = modal_.values();
    for (const QPointer<QMessageBox>& box : modal)
        if (box)
            box->done(QMessageBox::Ok);
    const QList<QPointer<QMessageBox>> notModal = notModal_.values();
    for (const QPointer<QMessageBox>& box : notModal)
        if (box)
            box->close();
}
