#include "telemetry/BrokerAddress.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Letters, digits, '-', '.' and '_': a host name or an IPv4 address.
bool IsHostName(const std::string& host) {
    return !host.empty() && std::all_of(host.begin(), host.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '.' || c == '_';
    });
}

bool IsIpv6(const std::string& host) {
    return !host.empty() && host.find(':') != std::string::npos &&
           std::all_of(host.begin(), host.end(),
                       [](unsigned char c) { return std::isxdigit(c) || c == ':' || c == '.'; });
}

std::optional<int> ParsePort(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    const int port = std::stoi(text);
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

} // namespace

std::string TBrokerAddress::Text() const {
    const std::string host = Host.find(':') != std::string::npos ? "[" + Host + "]" : Host;
    return (Tls ? "mqtts://" : "mqtt://") + host + ":" + std::to_string(Port);
}

std::optional<TBrokerAddress> ParseBrokerUrl(const std::string& url, std::string& error) {
    const std::string quoted = "\"" + url + "\"";
    const auto refuse = [&](const std::string& why) -> std::optional<TBrokerAddress> {
        error = quoted + " is not a broker address: " + why;
        return std::nullopt;
    };
    const std::string form = "write it as mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
    const std::size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos)
        return refuse(form);
    TBrokerAddress address;
    const std::string scheme = Lower(url.substr(0, schemeEnd));
    if (scheme == "mqtts") {
        address.Tls = true;
    } else if (scheme != "mqtt") {
        return refuse("unknown scheme \"" + url.substr(0, schemeEnd) + "\" (" + form + ")");
    }
    std::string rest = url.substr(schemeEnd + 3);
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    if (rest.find('@') != std::string::npos)
        return refuse("a user name or password does not belong in the address; put them in the "
                      "credentials file");
    if (rest.find_first_of("/?#") != std::string::npos)
        return refuse("nothing may follow the host and port (" + form + ")");

    std::string host;
    std::string portText;
    bool portGiven = false;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos)
            return refuse("an IPv6 address must end with ']'");
        host = rest.substr(1, close - 1);
        const std::string after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return refuse(form);
            portGiven = true;
            portText = after.substr(1);
        }
        if (!IsIpv6(host))
            return refuse("\"" + host + "\" is not an IPv6 address");
    } else {
        const std::size_t colon = rest.find(':');
        host = rest.substr(0, colon);
        if (colon != std::string::npos) {
            portGiven = true;
            portText = rest.substr(colon + 1);
        }
        if (host.empty())
            return refuse("no host (" + form + ")");
        if (!IsHostName(host))
            return refuse("\"" + host + "\" is not a host name");
    }
    if (portGiven) {
        const std::optional<int> port = ParsePort(portText);
        if (!port)
            return refuse("the port must be a number from 1 to 65535");
        address.Port = *port;
    } else {
        address.Port = address.Tls ? MqttTlsDefaultPort : MqttDefaultPort;
    }
    address.Host = host;
    return address;
}
