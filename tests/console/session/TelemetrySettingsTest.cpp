// Where the console publishes: the command line's options stand in for the settings file's keys
// one by one, an empty --mqtt turns publishing off whatever the file says, the rig is the host
// unless named, and a bad setting is one sentence with publishing off.
#include "console/session/TelemetrySettings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <sys/stat.h>

namespace {

struct TSettingsFile {
    QString Url;
    QString Rig;
    QString Credentials;
};

} // namespace

Q_DECLARE_METATYPE(TSettingsFile)
Q_DECLARE_METATYPE(TTelemetryOptions)

class TelemetrySettingsTest : public QObject {
    Q_OBJECT

private slots:
    void TheCommandLineStandsInForEachSetting_data() {
        QTest::addColumn<TSettingsFile>("file");
        QTest::addColumn<TTelemetryOptions>("commandLine");
        QTest::addColumn<QString>("hostName");
        QTest::addColumn<QString>("broker"); // empty: nothing published
        QTest::addColumn<QString>("rig");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("error");

        const QString good = Folder() + "/good";
        const QString other = Folder() + "/other";
        QTest::newRow("nothing asked for") << TSettingsFile{} << TTelemetryOptions{} << "bench"
                                           << ""
                                           << ""
                                           << ""
                                           << "";
        QTest::newRow("the file alone, rig from the host")
            << TSettingsFile{"mqtt://broker.lab", "", ""} << TTelemetryOptions{} << "bench"
            << "mqtt://broker.lab:1883"
            << "bench"
            << ""
            << "";
        QTest::newRow("the file's rig")
            << TSettingsFile{"mqtts://broker.lab", "rig-7", good} << TTelemetryOptions{} << "bench"
            << "mqtts://broker.lab:8883"
            << "rig-7"
            << "rig1"
            << "";
        QTest::newRow("the command line's broker, the file's rig")
            << TSettingsFile{"mqtt://broker.lab", "rig-7", ""}
            << TTelemetryOptions{"mqtt://127.0.0.1:18830", {}, {}} << "bench"
            << "mqtt://127.0.0.1:18830"
            << "rig-7"
            << ""
            << "";
        QTest::newRow("the command line's rig and credentials")
            << TSettingsFile{"mqtt://broker.lab", "rig-7", Folder() + "/missing"}
            << TTelemetryOptions{{}, " rig-8 ", other} << "bench"
            << "mqtt://broker.lab:1883"
            << "rig-8"
            << "rig2"
            << "";
        QTest::newRow("an empty --mqtt turns the file's broker off")
            << TSettingsFile{"mqtt://broker.lab", "", ""} << TTelemetryOptions{"", {}, {}}
            << "bench"
            << ""
            << ""
            << ""
            << "";
        QTest::newRow("no host name")
            << TSettingsFile{"mqtt://broker.lab", "", ""} << TTelemetryOptions{} << ""
            << "mqtt://broker.lab:1883"
            << "orvello"
            << ""
            << "";
        QTest::newRow("a bad address in the file")
            << TSettingsFile{"mqtt:broker.lab", "", ""} << TTelemetryOptions{} << "bench"
            << ""
            << ""
            << ""
            << "Not publishing to an MQTT broker: \"mqtt:broker.lab\" is not a broker address: "
               "write it as mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
        QTest::newRow("a rig name with nothing left")
            << TSettingsFile{} << TTelemetryOptions{"mqtt://broker.lab", "+/#", {}} << "bench"
            << ""
            << ""
            << ""
            << "Not publishing to an MQTT broker: the rig name \"+/#\" leaves nothing for a "
               "topic once '+', '#', '/' and control characters are taken out";
        QTest::newRow("credentials others may read")
            << TSettingsFile{"mqtt://broker.lab", "", Folder() + "/shared"} << TTelemetryOptions{}
            << "bench"
            << ""
            << ""
            << ""
            << "Not publishing to an MQTT broker: the credentials file " + Folder() +
                   "/shared may be read by others (mode 0644); allow only its owner with chmod "
                   "600";
    }

    void TheCommandLineStandsInForEachSetting() {
        QFETCH(TSettingsFile, file);
        QFETCH(TTelemetryOptions, commandLine);
        QFETCH(QString, hostName);
        QFETCH(QString, broker);
        QFETCH(QString, rig);
        QFETCH(QString, user);
        QFETCH(QString, error);
        Write("good", "rig1\nsecret\n", 0600);
        Write("other", "rig2\nsecret\n", 0600);
        Write("shared", "rig3\nsecret\n", 0644);

        QSettings settings(Folder() + "/Orvello.conf", QSettings::IniFormat);
        settings.clear();
        if (!file.Url.isEmpty())
            settings.setValue(SettingMqttUrl, file.Url);
        if (!file.Rig.isEmpty())
            settings.setValue(SettingMqttRig, file.Rig);
        if (!file.Credentials.isEmpty())
            settings.setValue(SettingMqttCredentials, file.Credentials);

        const TTelemetryChoice choice = ChooseTelemetry(commandLine, settings, hostName);
        QCOMPARE(QString::fromStdString(choice.Error), error);
        QCOMPARE(choice.Publish, !broker.isEmpty());
        if (!choice.Publish)
            return;
        QCOMPARE(QString::fromStdString(choice.Publisher.Broker.Text()), broker);
        QCOMPARE(QString::fromStdString(choice.Rig), rig);
        QCOMPARE(choice.Publisher.Credentials.has_value(), !user.isEmpty());
        if (choice.Publisher.Credentials)
            QCOMPARE(QString::fromStdString(choice.Publisher.Credentials->User), user);
    }

private:
    static QString Folder() {
        static QTemporaryDir folder;
        return folder.path();
    }
    static void Write(const QString& name, const char* text, mode_t mode) {
        const QString path = Folder() + "/" + name;
        std::ofstream(path.toStdString(), std::ios::trunc) << text;
        ::chmod(path.toLocal8Bit().constData(), mode);
    }
};

QTEST_MAIN(TelemetrySettingsTest)
#include "TelemetrySettingsTest.moc"
