#pragma once
// The warnings of a long unattended run, kept until the operator has seen them. A warning line in
// the log pane scrolls away within minutes among the lines of a running rig; this button in the
// status bar shows how many warnings came since it was last cleared, lit while there are any,
// and opens the list of them ("DialogWarnings": the list "ListBoxWarnings", "Clear" and "Close").
// Clearing empties the list and puts the light out; the log pane and the session log keep every
// line. Main thread only.
#include <QStringList>
#include <QToolButton>

class QDialog;
class QListWidget;

class TWarningsButton : public QToolButton {
    Q_OBJECT
public:
    // The list keeps the newest warnings up to this many; the count goes on.
    static constexpr int MaxKept = 1000;

    explicit TWarningsButton(QWidget* parent = nullptr);

    void AddWarning(const QString& line);
    void ClearWarnings();
    int Count() const { return count_; }
    const QStringList& Warnings() const { return warnings_; }
    // The list's window, made when first opened.
    QDialog* Dialog() const { return dialog_; }

private:
    void ShowList();
    void Refresh();

    QStringList warnings_;
    int count_ = 0;
    QDialog* dialog_ = nullptr;
    QListWidget* list_ = nullptr;
};
