#include "console/widgets/Lamp.h"

#include <QPainter>

TLamp::TLamp(QWidget* parent) : QWidget(parent) {
    // The lamp fills its whole square: nothing of the parent needs to show through.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(sizeHint());
}

void TLamp::SetColors(QColor off, QColor on) {
    off_ = off;
    on_ = on;
    RepaintNow();
}

void TLamp::ChangeValue(bool on) {
    if (value_ == on)
        return;
    value_ = on;
    RepaintNow();
}

void TLamp::RepaintNow() {
    // repaint() of a hidden widget does nothing useful; it paints when it is shown.
    if (isVisible())
        repaint();
}

void TLamp::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), value_ ? on_ : off_);
}
