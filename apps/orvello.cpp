// The operator console. Everything lives in the console library; this only starts it.
//   orvello [--operator-script FILE] [--mqtt URL] [--rig NAME] [--mqtt-credentials FILE]
//   orvello --version | --help
// An operator script drives the window for automation and demonstrations (see
// console/OperatorScript.h); the program then ends with code 1 when the script failed.
// --mqtt publishes the rig's state, rows and alarms to a broker (console/session/
// TelemetrySettings.h); the settings file's mqtt/ keys say the same when these are not given.
// Exit codes:
//   0  the window was closed and every device stopped with its instrument's confirmation
//   1  the operator script failed
//   3  some device may still be running: its stop was not confirmed at the close, or at a reset
//      of this run after which it was not stopped with confirmation (each one is named on
//      standard error and in the session log); whoever started the program must look at the rig.
//      Given whatever else went wrong, as the most urgent news.
//   4  the flow log or the session log could not finish writing within the close's bound (a
//      folder that does not answer); standard error and the session log say from which time
//      rows or lines are not on disk
#include "console/adapters/SignalClose.h"
#include "console/automation/OperatorScript.h"
#include "console/session/TelemetrySettings.h"
#include "console/window/GUIOrvello.h"
#include "registry/DeviceWorkers.h"
#include "safety/GuardianLink.h"

#include "OrvelloVersion.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QSettings>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int ExitDevicesMayStillRun = 3;
constexpr int ExitFilesNotWritten = 4;

// True when the arguments are sound and ask only for the version or the options' help.
bool AsksOnlyForText(QCommandLineParser& parser, int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return parser.parse(arguments) &&
           (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version")));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("Orvello"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(OrvelloVersion));
    // Desktops that match windows to menu entries by name (Wayland's app id) find orvello.desktop
    // and its icon by this.
    QGuiApplication::setDesktopFileName(QStringLiteral("orvello"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The operator console of a laboratory gas-conditioning rig."));
    parser.addHelpOption();
    parser.addVersionOption();
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

    // The version and the help are asked for where there may be no display (over ssh, in the
    // package's checks), and a window system that cannot be reached would end the program before
    // it answers; a plain application answers them, and exits.
    if (AsksOnlyForText(parser, argc, argv)) {
        QCoreApplication textOnly(argc, argv);
        parser.process(textOnly);
    }
    QApplication application(argc, argv);
    parser.process(application);

    // Stopped from a terminal or a service manager, the program stops its devices as a close
    // does. Installed first, so that from the window's first log line on no signal ends the
    // program without that.
    TSignalClose signalClose;
    TFormOrvello window;
    // Before any worker can start: a crash from here on leaves nothing running unnoticed.
    window.StartCrashProtection(TGuardianLink::ProgramBesideThisOne("orvello-guard"));
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
    if (window.FilesLeftUnwritten())
        code = ExitFilesNotWritten;
    if (window.DevicesLeftUnsafe())
        code = ExitDevicesMayStillRun;
    // A worker that did not stop within the close's bound has been named in the log and is still
    // busy with its device; a writer that did not finish within it may be stuck in the file
    // system for good. Tearing the program down under them, or waiting for them, would be worse
    // than leaving now.
    if (ActiveThreadCount() > 0 || window.FilesLeftUnwritten()) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
