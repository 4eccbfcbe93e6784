#pragma once
// The square status lamp: the engine lamp and one per started worker. The core switches it
// through TStatusLamp; the engine tick switches it on and off again within a single tick, so the
// "on" state must reach the screen before control returns to the caller.
#include "platform/StatusLamp.h"

#include <QColor>
#include <QWidget>

class TLamp : public QWidget, public TStatusLamp {
    Q_OBJECT
public:
    explicit TLamp(QWidget* parent = nullptr);

    void SetColors(QColor off, QColor on);
    QColor OffColor() const { return off_; }
    QColor OnColor() const { return on_; }

    // Paints at once (not at the next pass of the event loop), so that a flash that is switched
    // on and off within one handler is still seen.
    void ChangeValue(bool on) override;
    bool Value() const { return value_; }

    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void RepaintNow();

    QColor off_{192, 192, 192};
    QColor on_{0, 255, 0};
    bool value_ = false;
};
