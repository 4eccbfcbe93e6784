#pragma once
// Where the rig's state is published: an MQTT broker named as mqtt://HOST[:PORT] (plain TCP,
// port 1883 unless given) or mqtts://HOST[:PORT] (TLS, port 8883 unless given). HOST is a name,
// an IPv4 address or an IPv6 address in brackets. Nothing else may follow: no path, no query,
// and no user name or password, which belong in the credentials file (BrokerCredentials.h), not
// on a command line that every user of the machine can read.
#include <optional>
#include <string>

struct TBrokerAddress {
    std::string Host; // without the brackets of an IPv6 address
    int Port = 0;
    bool Tls = false;

    // The address as a URL with its port, for the operator's messages.
    std::string Text() const;
};

constexpr int MqttDefaultPort = 1883;
constexpr int MqttTlsDefaultPort = 8883;

// The address of a URL; nothing, with the reason in error, when it is not one.
std::optional<TBrokerAddress> ParseBrokerUrl(const std::string& url, std::string& error);
