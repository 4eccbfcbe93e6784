#include "console/session/TelemetrySettings.h"

#include "telemetry/BrokerAddress.h"
#include "telemetry/BrokerCredentials.h"
#include "telemetry/TelemetryTopics.h"

#include <QSettings>

namespace {

QString Chosen(const std::optional<QString>& commandLine, const QSettings& settings,
               const char* key) {
    return (commandLine ? *commandLine : settings.value(QLatin1String(key)).toString()).trimmed();
}

TTelemetryChoice Refused(const std::string& reason) {
    TTelemetryChoice choice;
    choice.Error = "Not publishing to an MQTT broker: " + reason;
    return choice;
}

} // namespace

TTelemetryChoice ChooseTelemetry(const TTelemetryOptions& commandLine, const QSettings& settings,
                                 const QString& hostName) {
    const QString url = Chosen(commandLine.Url, settings, SettingMqttUrl);
    if (url.isEmpty())
        return {};
    std::string error;
    const std::optional<TBrokerAddress> broker = ParseBrokerUrl(url.toStdString(), error);
    if (!broker)
        return Refused(error);

    QString rig = Chosen(commandLine.Rig, settings, SettingMqttRig);
    if (rig.isEmpty())
        rig = hostName.isEmpty() ? QStringLiteral("orvello") : hostName;
    if (CleanTopicLevel(rig.toStdString()).empty())
        return Refused("the rig name \"" + rig.toStdString() +
                       "\" leaves nothing for a topic once '+', '#', '/' and control characters "
                       "are taken out");

    TTelemetryChoice choice;
    const QString credentials = Chosen(commandLine.Credentials, settings, SettingMqttCredentials);
    if (!credentials.isEmpty()) {
        choice.Publisher.Credentials = ReadBrokerCredentials(credentials.toStdString(), error);
        if (!choice.Publisher.Credentials)
            return Refused(error);
    }
    choice.Publish = true;
    choice.Rig = rig.toStdString();
    choice.Publisher.Broker = *broker;
    return choice;
}
