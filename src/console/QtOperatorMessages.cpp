#include "console/QtOperatorMessages.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QThread>

TQtOperatorMessages::TQtOperatorMessages() : anchor_(std::make_unique<QObject>()) {}

TQtOperatorMessages::~TQtOperatorMessages() = default;

void TQtOperatorMessages::ShowMessage(const std::string& text) {
    const QString message = QString::fromStdString(text);
    if (QThread::currentThread() == anchor_->thread()) {
        ShowOnMainThread(message);
        return;
    }
    QMetaObject::invokeMethod(
        anchor_.get(), [this, &message] { ShowOnMainThread(message); },
        Qt::BlockingQueuedConnection);
}

void TQtOperatorMessages::ShowOnMainThread(const QString& text) {
    if (open_.contains(text))
        return;
    open_.insert(text);
    QMessageBox box(QMessageBox::Information, QGuiApplication::applicationDisplayName(), text,
                    QMessageBox::Ok);
    box.setObjectName("OperatorMessageBox");
    box.setTextFormat(Qt::PlainText);
    box.exec();
    open_.remove(text);
}
