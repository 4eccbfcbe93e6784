#pragma once
// The topics a rig publishes, all under orvello/<rig>/:
//   status           retained, QoS 1: "online", "stopped", or "offline" (also the last will)
//   devices/<port>   retained, QoS 0: one device's state
//   rows             QoS 0: one data table row
//   events           QoS 1: one warning, alarm or stop outcome
// A rig name or a port becomes one topic level: '+' and '#' (the wildcards of subscriptions) and
// '/' (the level separator) are taken out, so a name can neither split the tree nor be mistaken
// for a pattern; so are control characters, which a broker may refuse in a topic.
#include <string>

// The text without '+', '#', '/' and control characters; empty when nothing else was in it.
std::string CleanTopicLevel(const std::string& text);

class TRigTopics {
public:
    // rig as given; it is cleaned here.
    explicit TRigTopics(const std::string& rig)
        : prefix_("orvello/" + CleanTopicLevel(rig) + "/") {}

    std::string Status() const { return prefix_ + "status"; }
    std::string Device(const std::string& port) const {
        return prefix_ + "devices/" + CleanTopicLevel(port);
    }
    std::string Rows() const { return prefix_ + "rows"; }
    std::string Events() const { return prefix_ + "events"; }
    // "orvello/<rig>/", for the operator's messages.
    const std::string& Prefix() const { return prefix_; }

private:
    std::string prefix_;
};

// The payloads of the status topic.
constexpr const char* StatusOnline = "online";
constexpr const char* StatusStopped = "stopped";
constexpr const char* StatusOffline = "offline";
