// The operator console. Everything lives in the console library; this only starts it.
#include "console/GUIOrvello.h"
#include "console/SignalClose.h"
#include "registry/DeviceWorkers.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Orvello"));
    // Stopped from a terminal or a service manager, the program stops its devices as a close
    // does. Installed first, so that from the window's first log line on no signal ends the
    // program without that.
    TSignalClose signalClose;
    TFormOrvello window;
    signalClose.SetWindow(&window);
    if (!signalClose.Installed())
        window.MM("SIGINT and SIGTERM will not close the console: " +
                  signalClose.ErrorText().toStdString());
    // Without a window manager (a bare X server) maximising does nothing; the screen's free
    // area is the same size, so the window takes it first.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.setGeometry(screen->availableGeometry());
    window.showMaximized();
    const int code = QApplication::exec();
    // A worker that did not stop within the close's bound has been named in the log and is still
    // busy with its device. Tearing the program down under it, or waiting for it, would be worse
    // than leaving now.
    if (ActiveThreadCount() > 0) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
