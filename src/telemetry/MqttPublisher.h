#pragma once
// Publishes messages to an MQTT broker from a thread of its own, so that nobody who hands it a
// message ever waits on the network: Publish only queues (TPublishQueue) and returns.
//
// The thread drives libmosquitto itself (mosquitto_loop), one client per connection attempt, so
// the library keeps nothing between connections that could be resent twice or grow unseen: what
// is still to be sent is in the queue, and an event (QoS 1) stays owed until the broker
// acknowledges it. Each connection sets the last will ("offline", retained, on the status topic)
// and publishes "online" (retained) once the broker accepts it. A broker that cannot be reached,
// refuses the connection or does not answer within the keep-alive is tried again after a pause
// that doubles up to a limit. Notices say when the broker is first reached, once when it becomes
// unreachable, and when it is back.
//
// Thread contract: Publish, Finish, TakeNotices and the readings are called from one thread (the
// console's main thread); the publisher's thread touches only the shared state behind a mutex,
// held for a queue operation at a time, never across network I/O. The thread's state is shared
// with it, not borrowed: a thread stuck in a name look-up that the close cannot wait for is left
// to end on its own.
#include "telemetry/BrokerAddress.h"
#include "telemetry/BrokerCredentials.h"
#include "telemetry/PublishQueue.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct TPublisherSettings {
    TBrokerAddress Broker;
    std::optional<TBrokerCredentials> Credentials;
    // Where the last will and "online" go.
    std::string StatusTopic;
    // The broker takes a client that says nothing for 1.5 keep-alives for gone and publishes its
    // will: 5 s lets a dead console show as "offline" within about 8 s.
    int KeepAlive_s = 5;
    std::chrono::milliseconds RetryFirst{500};
    std::chrono::milliseconds RetryLongest{5000};
    // The queue's bound of each lane (rows, device states, events) while the broker is away:
    // 4 MB each, hours of rows at 15 devices.
    std::array<std::size_t, LaneCount> LaneBytes{4u << 20, 4u << 20, 4u << 20};
};

struct TPublisherNotice {
    bool Warning = false; // the operator must not miss it; otherwise a line of the log
    std::string Text;
};

class TMqttPublisher {
public:
    explicit TMqttPublisher(TPublisherSettings settings);
    // Without Finish the connection is dropped without a word, and the broker publishes the last
    // will. Waits for the thread at most a moment.
    ~TMqttPublisher();
    TMqttPublisher(const TMqttPublisher&) = delete;
    TMqttPublisher& operator=(const TMqttPublisher&) = delete;

    // Queues the message; never waits for the broker.
    void Publish(TOutgoing message);
    // The last word: publishes what is queued, then status (retained, QoS 1), and disconnects
    // cleanly, so that the broker keeps status rather than the will. Waits at most bound, and not
    // at all when no connection is up: a broker that never answered gets nothing more. True when
    // the broker acknowledged status. Publish after Finish queues nothing.
    bool Finish(const std::string& status, std::chrono::milliseconds bound);

    std::vector<TPublisherNotice> TakeNotices();
    bool Connected() const;
    // What the queue holds: its memory and its messages.
    std::size_t QueuedBytes() const;
    std::size_t QueuedCount() const;

    struct TShared; // the state the thread shares with its owner

private:
    void Stop(std::optional<std::string> status, std::chrono::milliseconds bound);

    std::shared_ptr<TShared> shared_;
    std::thread thread_;
};
