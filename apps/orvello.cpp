// The operator console. Everything lives in the console library; this only starts it.
//   orvello [--operator-script FILE] [--mqtt URL] [--rig NAME] [--mqtt-credentials FILE]
// An operator script drives the window for automation and demonstrations (see
// console/OperatorScript.h); the program then ends with code 1 when the script failed.
// --mqtt publishes the rig's state, rows and alarms to a broker (console/session/
// TelemetrySettings.h); the settings file's mqtt/ keys say the same when these are not given.
// Exit code 3: the close could not confirm that every device stopped (each one is named on
// standard error and in the session log); whoever started the program must look at the rig.
#include "console/adapters/SignalClose.h"
#include "console/automation/OperatorScript.h"
#include "console/session/TelemetrySettings.h"
#include "console/window/GUIOrvello.h"
#include "registry/DeviceWorkers.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QSettings>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int ExitDevicesMayStillRun = 3;

} // namespace

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
    const QCommandLineOption mqttOption(
        QStringLiteral("mqtt"),
        QStringLiteral("Publishes the rig's state, data rows and alarms to the MQTT broker at URL "
                       "(mqtt://HOST[:PORT] or mqtts://HOST[:PORT]); an empty URL publishes "
                       "nothing."),
        QStringLiteral("URL"));
    parser.addOption(mqttOption);
    const QCommandLineOption rigOption(
        QStringLiteral("rig"),
        QStringLiteral("Names the rig in the published topics (orvello/NAME/...); the host name "
                       "unless given."),
        QStringLiteral("NAME"));
    parser.addOption(rigOption);
    const QCommandLineOption credentialsOption(
        QStringLiteral("mqtt-credentials"),
        QStringLiteral("Reads the broker's user name and password from FILE (two lines; only its "
                       "owner may read it)."),
        QStringLiteral("FILE"));
    parser.addOption(credentialsOption);
    parser.process(application);

    // Stopped from a terminal or a service manager, the program stops its devices as a close
    // does. Installed first, so that from the window's first log line on no signal ends the
    // program without that.
    TSignalClose signalClose;
    TFormOrvello window;
    signalClose.SetWindow(&window, [&window] { window.CloseBySignal(); });
    if (!signalClose.Installed())
        window.MM("Signals will not close the console: " + signalClose.ErrorText().toStdString());
    // Before any device is configured, so that watchers see every event of the run.
    TTelemetryOptions telemetry;
    if (parser.isSet(mqttOption))
        telemetry.Url = parser.value(mqttOption);
    if (parser.isSet(rigOption))
        telemetry.Rig = parser.value(rigOption);
    if (parser.isSet(credentialsOption))
        telemetry.Credentials = parser.value(credentialsOption);
    window.StartTelemetry(telemetry,
                          QSettings(QStringLiteral("Orvello"), QStringLiteral("Orvello")));
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
    int code = QApplication::exec();
    if (script && script->Failed() && code == 0)
        code = 1;
    if (window.DevicesLeftUnsafe())
        code = ExitDevicesMayStillRun;
    // A worker that did not stop within the close's bound has been named in the log and is still
    // busy with its device. Tearing the program down under it, or waiting for it, would be worse
    // than leaving now.
    if (ActiveThreadCount() > 0) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
