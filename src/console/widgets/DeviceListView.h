#pragma once
// The device list. An item view makes its first row current as soon as it gets the keyboard
// focus; here a row becomes the focused device only when the operator clicks it or moves to it
// with the keyboard, so until then no device is focused and commands say so.
#include <QTreeWidget>

class TDeviceListView : public QTreeWidget {
    Q_OBJECT

public:
    explicit TDeviceListView(QWidget* parent = nullptr);

    // The row the operator focused last, or nullptr.
    QTreeWidgetItem* FocusedRow() const;
    // Forgets the operator's choice (the rows were replaced).
    void ForgetFocusedRow();

signals:
    // A mouse click on a row, or the release of a key while the list has the focus.
    void RowClicked();
    void KeyReleased();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    bool chosen_ = false;
};
