#pragma once
// Where the console publishes the rig (telemetry/RigTelemetry.h): the command line's --mqtt URL,
// --rig NAME and --mqtt-credentials FILE, each standing in for its key of the console's settings
// file (Qt's settings of the application "Orvello": mqtt/url, mqtt/rig, mqtt/credentials). No
// URL, or an empty one on the command line, publishes nothing. The rig's name is the host name
// unless given.
//
// A bad setting (an address that is not a broker's, a credentials file that cannot be read or
// that others may read, a rig name with nothing left for a topic) is one sentence in Error, and
// the console goes on without publishing: an outside watcher is not worth a console that does
// not start.
#include "telemetry/MqttPublisher.h"

#include <QString>

#include <optional>
#include <string>

class QSettings;

struct TTelemetryOptions {
    std::optional<QString> Url;
    std::optional<QString> Rig;
    std::optional<QString> Credentials;
};

// The settings file's keys.
inline constexpr const char* SettingMqttUrl = "mqtt/url";
inline constexpr const char* SettingMqttRig = "mqtt/rig";
inline constexpr const char* SettingMqttCredentials = "mqtt/credentials";

struct TTelemetryChoice {
    bool Publish = false;
    std::string Rig; // as given, cleaned by the topics
    TPublisherSettings Publisher;
    // Why publishing that was asked for is off; empty when it is on, or was not asked for.
    std::string Error;
};

TTelemetryChoice ChooseTelemetry(const TTelemetryOptions& commandLine, const QSettings& settings,
                                 const QString& hostName);
