// The operator console. Everything lives in the console library; this only starts it.
#include "console/GUIOrvello.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Orvello"));
    TFormOrvello window;
    window.showMaximized();
    return QApplication::exec();
}
