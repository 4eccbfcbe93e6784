// The operator console. Everything lives in the console library; this only starts it.
#include "console/GUIOrvello.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Orvello"));
    TFormOrvello window;
    // Without a window manager (a bare X server) maximising does nothing; the screen's free
    // area is the same size, so the window takes it first.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.setGeometry(screen->availableGeometry());
    window.showMaximized();
    return QApplication::exec();
}
