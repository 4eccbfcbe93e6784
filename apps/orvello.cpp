// The operator console. Everything lives in the console library; this only starts it.
//   orvello [--operator-script FILE]
// An operator script drives the window for automation and demonstrations (see
// console/OperatorScript.h); the program then ends with a nonzero code when the script failed.
#include "console/GUIOrvello.h"
#include "console/OperatorScript.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>

#include <memory>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Orvello"));

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption scriptOption(
        QStringLiteral("operator-script"),
        QStringLiteral("Runs the operator commands of FILE in the window."),
        QStringLiteral("FILE"));
    parser.addOption(scriptOption);
    parser.process(application);

    TFormOrvello window;
    // Without a window manager (a bare X server) maximising does nothing; the screen's free
    // area is the same size, so the window takes it first.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.setGeometry(screen->availableGeometry());
    window.showMaximized();

    // Made after the window, whose own message boxes it stands in for while it runs.
    std::unique_ptr<TOperatorScript> script;
    if (parser.isSet(scriptOption)) {
        script = std::make_unique<TOperatorScript>(window, parser.value(scriptOption));
        script->Start();
    }
    const int code = QApplication::exec();
    if (script && script->Failed())
        return code != 0 ? code : 1;
    return code;
}
