#include "console/widgets/ColorPickCombo.h"

#include "registry/NamedColors.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <QWidgetAction>

#include <span>

namespace {

constexpr int swatchSize = 18;

// The colour over a checkerboard, with a thin frame.
QPixmap Swatch(QColor color, QSize size) {
    QPixmap pixmap(size.expandedTo(QSize(4, 4)));
    QPainter painter(&pixmap);
    const int cell = 4;
    for (int y = 0; y < pixmap.height(); y += cell)
        for (int x = 0; x < pixmap.width(); x += cell)
            painter.fillRect(x, y, cell, cell,
                             ((x + y) / cell) % 2 ? QColor(204, 204, 204) : QColor(Qt::white));
    painter.fillRect(pixmap.rect(), color);
    painter.setPen(QColor(96, 96, 96));
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return pixmap;
}

QString Describe(QColor color) {
    return QString("Red %1, green %2, blue %3, alpha %4 (255 is opaque)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

} // namespace

TColorPickCombo::TColorPickCombo(QWidget* parent) : QWidget(parent) {
    button_ = new QToolButton(this);
    button_->setObjectName("ButtonColor");
    button_->setPopupMode(QToolButton::InstantPopup);
    button_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(button_);

    menu_ = new QMenu(this);
    menu_->setObjectName("MenuColors");
    auto* grid = new QWidget(menu_);
    auto* gridLayout = new QGridLayout(grid);
    gridLayout->setContentsMargins(4, 4, 4, 4);
    gridLayout->setSpacing(2);
    // The core's named colours, four to a row: the colours device records are given.
    const std::span<const TNamedColor> standardColors = NamedColorTable();
    for (std::size_t i = 0; i < standardColors.size(); ++i) {
        const char* const name = standardColors[i].Name;
        const QColor color = QColor::fromRgb(static_cast<QRgb>(standardColors[i].Value));
        auto* swatch = new QToolButton(grid);
        swatch->setObjectName(QString("Swatch") + name);
        swatch->setToolTip(name);
        swatch->setAutoRaise(true);
        swatch->setIconSize(QSize(swatchSize, swatchSize));
        swatch->setIcon(Swatch(color, QSize(swatchSize, swatchSize)));
        gridLayout->addWidget(swatch, int(i / 4), int(i % 4));
        connect(swatch, &QToolButton::clicked, this, [this, color] {
            menu_->close();
            SetColor(color);
        });
    }
    auto* gridAction = new QWidgetAction(menu_);
    gridAction->setDefaultWidget(grid);
    menu_->addAction(gridAction);
    menu_->addSeparator();
    QAction* other = menu_->addAction("&Other colors...");
    other->setObjectName("ActionOtherColors");
    // The dialog opens once the menu's own loop has ended, not inside it.
    connect(other, &QAction::triggered, this, [this] {
        QMetaObject::invokeMethod(this, &TColorPickCombo::OpenDialog, Qt::QueuedConnection);
    });
    button_->setMenu(menu_);
    ShowColor();
}

void TColorPickCombo::SetColor(QColor color) {
    if (!color.isValid() || color == color_)
        return;
    color_ = color;
    ShowColor();
    emit Changed();
}

void TColorPickCombo::OpenDialog() {
    QColorDialog dialog(color_, this);
    dialog.setObjectName("DialogTuneColors");
    dialog.setWindowTitle("Tune Colors");
    dialog.setOption(QColorDialog::ShowAlphaChannel);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() == QDialog::Accepted)
        SetColor(dialog.selectedColor());
}

void TColorPickCombo::ShowColor() {
    const QSize size = button_->size() - QSize(24, 8); // room for the drop-down arrow
    button_->setIconSize(size.expandedTo(QSize(8, 8)));
    button_->setIcon(Swatch(color_, button_->iconSize()));
    const QString description = Describe(color_);
    button_->setToolTip(description);
    setToolTip(description);
}

void TColorPickCombo::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ShowColor();
}
