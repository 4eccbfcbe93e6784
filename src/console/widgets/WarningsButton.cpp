#include "console/widgets/WarningsButton.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TWarningsButton::TWarningsButton(QWidget* parent) : QToolButton(parent) {
    setObjectName(QStringLiteral("ButtonWarnings"));
    setAutoRaise(true);
    connect(this, &QToolButton::clicked, this, &TWarningsButton::ShowList);
    Refresh();
}

void TWarningsButton::AddWarning(const QString& line) {
    warnings_.push_back(line);
    if (warnings_.size() > MaxKept)
        warnings_.removeFirst();
    ++count_;
    Refresh();
}

void TWarningsButton::ClearWarnings() {
    warnings_.clear();
    count_ = 0;
    Refresh();
}

void TWarningsButton::Refresh() {
    setText(QStringLiteral("Warnings: %1").arg(count_));
    setToolTip(warnings_.isEmpty() ? QStringLiteral("No warnings since the list was last cleared")
                                   : warnings_.back());
    // Lit in the warning colours of the operator's lamps; plain when there is nothing to see.
    setStyleSheet(count_ > 0 ? QStringLiteral("QToolButton { background: #ffb000; color: black; "
                                              "font-weight: bold; border: 1px solid #a06000; }")
                             : QString());
    if (list_) {
        list_->clear();
        list_->addItems(warnings_);
        list_->scrollToBottom();
    }
}

void TWarningsButton::ShowList() {
    if (!dialog_) {
        dialog_ = new QDialog(window());
        dialog_->setObjectName(QStringLiteral("DialogWarnings"));
        dialog_->setWindowTitle(QStringLiteral("Warnings"));
        dialog_->resize(700, 300);
        list_ = new QListWidget(dialog_);
        list_->setObjectName(QStringLiteral("ListBoxWarnings"));
        list_->setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 9));
        auto* clear = new QPushButton(QStringLiteral("Clear"), dialog_);
        clear->setObjectName(QStringLiteral("ButtonClearWarnings"));
        auto* close = new QPushButton(QStringLiteral("Close"), dialog_);
        close->setObjectName(QStringLiteral("ButtonCloseWarnings"));
        connect(clear, &QPushButton::clicked, this, &TWarningsButton::ClearWarnings);
        connect(close, &QPushButton::clicked, dialog_, &QDialog::hide);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(clear);
        buttons->addWidget(close);
        auto* layout = new QVBoxLayout(dialog_);
        layout->addWidget(list_);
        layout->addLayout(buttons);
    }
    Refresh();
    dialog_->show();
    dialog_->raise();
}
