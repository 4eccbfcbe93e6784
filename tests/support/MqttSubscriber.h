#pragma once
// A watcher of the rig, as a lab's own script would be one: a libmosquitto client that subscribes
// to a topic filter (QoS 1) and keeps every message it receives with its topic, payload, QoS,
// retained flag and arrival time. It runs the library's own network thread and reconnects by
// itself. Its session is one the broker remembers, so what arrives while it reconnects after a
// broker restart waits for it there. No Qt, for the telemetry's tests under ThreadSanitizer too.
#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

struct TReceived {
    std::string Topic;
    std::string Payload;
    int Qos = 0;
    bool Retained = false;
    std::chrono::steady_clock::time_point Arrived;
};

struct TMqttSubscriberOptions {
    std::string Filter = "orvello/#";
    std::string User;
    std::string Password;
    std::string CaFile; // for a TLS broker
};

class TMqttSubscriber {
public:
    using TOptions = TMqttSubscriberOptions;

    explicit TMqttSubscriber(int port, TOptions options = {}) : filter_(options.Filter) {
        mosquitto_lib_init();
        static std::atomic<int> made{0};
        const std::string id =
            "orvello-test-" + std::to_string(::getpid()) + "-" + std::to_string(made++);
        client_ = mosquitto_new(id.c_str(), false, this);
        if (!options.User.empty())
            mosquitto_username_pw_set(client_, options.User.c_str(), options.Password.c_str());
        if (!options.CaFile.empty())
            mosquitto_tls_set(client_, options.CaFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        mosquitto_connect_callback_set(client_, &TMqttSubscriber::OnConnect);
        mosquitto_subscribe_callback_set(client_, &TMqttSubscriber::OnSubscribe);
        mosquitto_message_callback_set(client_, &TMqttSubscriber::OnMessage);
        mosquitto_reconnect_delay_set(client_, 1, 1, false);
        mosquitto_connect_async(client_, "127.0.0.1", port, 5);
        mosquitto_loop_start(client_);
    }
    ~TMqttSubscriber() {
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, false);
        mosquitto_destroy(client_);
    }
    TMqttSubscriber(const TMqttSubscriber&) = delete;
    TMqttSubscriber& operator=(const TMqttSubscriber&) = delete;

    std::vector<TReceived> Messages() const {
        const std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<TReceived> On(const std::string& topic) const {
        std::vector<TReceived> found;
        for (TReceived& message : Messages())
            if (message.Topic == topic)
                found.push_back(std::move(message));
        return found;
    }
    int Subscriptions() const {
        const std::lock_guard lock(mutex_);
        return subscriptions_;
    }

    // Waits until the subscription stands (the broker acknowledged it).
    bool WaitSubscribed(std::chrono::milliseconds bound) const {
        return WaitUntil([this] { return Subscriptions() > 0; }, bound);
    }

    static bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
        const auto until = std::chrono::steady_clock::now() + bound;
        while (!done()) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

private:
    static void OnConnect(mosquitto* client, void* self, int code) {
        if (code == 0)
            mosquitto_subscribe(client, nullptr,
                                static_cast<TMqttSubscriber*>(self)->filter_.c_str(), 1);
    }
    static void OnSubscribe(mosquitto*, void* self, int, int, const int*) {
        auto& subscriber = *static_cast<TMqttSubscriber*>(self);
        const std::lock_guard lock(subscriber.mutex_);
        ++subscriber.subscriptions_;
    }
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
        auto& subscriber = *static_cast<TMqttSubscriber*>(self);
        TReceived received;
        received.Topic = message->topic;
        received.Payload.assign(static_cast<const char*>(message->payload),
                                static_cast<std::size_t>(message->payloadlen));
        received.Qos = message->qos;
        received.Retained = message->retain;
        received.Arrived = std::chrono::steady_clock::now();
        const std::lock_guard lock(subscriber.mutex_);
        subscriber.messages_.push_back(std::move(received));
    }

    std::string filter_;
    mosquitto* client_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<TReceived> messages_;
    int subscriptions_ = 0;
};
