#pragma once
// The operator's file dialogs as Qt shows them, parented to the window that installs them. The
// object is a child of that window, so it goes with it; it takes itself out again when destroyed.
// Main thread only.
#include "platform/FileDialogs.h"

#include <QObject>
#include <QWidget>

class TQtFileDialogs final : public QObject, public FileDialogs {
public:
    explicit TQtFileDialogs(QWidget* window);
    ~TQtFileDialogs() override;

    std::optional<std::string> OpenFileName(const TFileDialogRequest& request) override;
    std::optional<std::string> SaveFileName(const TFileDialogRequest& request) override;

private:
    QWidget* window_;
};
