#pragma once
// A combo-like colour picker: the button shows the colour (over a checkerboard, so that a
// transparent colour looks transparent) and drops down a grid of standard colours with
// "&Other colors...", which opens the colour dialog with an alpha channel.
#include <QColor>
#include <QWidget>

class QColorDialog;
class QMenu;
class QToolButton;

class TColorPickCombo : public QWidget {
    Q_OBJECT
public:
    explicit TColorPickCombo(QWidget* parent = nullptr);

    QColor Color() const { return color_; }
    // Changed is reported whenever the colour changes, picked or set from code.
    void SetColor(QColor color);

    QSize sizeHint() const override { return {120, 24}; }

signals:
    void Changed();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void OpenDialog();
    void ShowColor();

    QColor color_{Qt::black};
    QToolButton* button_;
    QMenu* menu_;
};
