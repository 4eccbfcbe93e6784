#include "telemetry/MqttPublisher.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <map>
#include <mutex>
#include <pthread.h>
#include <utility>

namespace {

using SteadyClock = std::chrono::steady_clock;

// How long one turn of the loop may wait for the socket: the longest a new message or a stop
// waits for the thread to notice it.
constexpr int LoopSlice_ms = 50;
// Messages handed to the library per turn, so that a long queue does not keep it from reading.
constexpr int MessagesPerTurn = 200;
// Events sent and not yet acknowledged; past this the rest wait in the queue.
constexpr std::size_t MostOwed = 20;
// How long a clean disconnect may take once the last word was acknowledged.
constexpr auto DisconnectBound = std::chrono::milliseconds(500);
// How long the destructor waits for a thread that is only to drop its connection.
constexpr auto DropBound = std::chrono::milliseconds(1000);

void InitialiseLibraryOnce() {
    static std::once_flag once;
    // Never cleaned up: a thread left behind at the close may still use the library.
    std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string TopicPrefix(const std::string& statusTopic) {
    const std::size_t slash = statusTopic.rfind('/');
    return slash == std::string::npos ? statusTopic : statusTopic.substr(0, slash + 1);
}

std::string WithoutFullStop(std::string text) {
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

// The library's reason in words; read at once, while errno still holds a failed call's reason.
std::string ErrorText(int rc, int keepAlive_s) {
    switch (rc) {
    case MOSQ_ERR_ERRNO:
        return std::strerror(errno);
    case MOSQ_ERR_KEEPALIVE:
        return "no answer within " + std::to_string(keepAlive_s) + " s";
    case MOSQ_ERR_EAI:
        return "the broker's host name is not known";
    default:
        break;
    }
    const std::string text = mosquitto_strerror(rc);
    if (text == "Unknown error.")
        return "MQTT client error " + std::to_string(rc);
    return WithoutFullStop(text);
}

// One connection attempt and what the library's callbacks said of it. The callbacks run inside
// mosquitto_loop on the publisher's thread.
struct TConnection {
    mosquitto* Client = nullptr;
    SteadyClock::time_point Started;
    bool Answered = false; // the broker's CONNACK arrived
    int AnswerCode = -1;
    bool Lost = false;
    int LostCode = 0;
    bool Online = false;           // accepted, "online" published
    std::map<int, TOutgoing> Owed; // QoS 1 messages by message id, until acknowledged
    int FinalId = -1;
    bool FinalAcknowledged = false;
    std::string LastError; // the library's last error line (OpenSSL's reason for a TLS failure)

    ~TConnection() {
        if (Client)
            mosquitto_destroy(Client);
    }
};

void OnConnect(mosquitto*, void* self, int code) {
    auto& connection = *static_cast<TConnection*>(self);
    connection.Answered = true;
    connection.AnswerCode = code;
}

void OnDisconnect(mosquitto*, void* self, int code) {
    auto& connection = *static_cast<TConnection*>(self);
    connection.Lost = true;
    connection.LostCode = code;
}

void OnLog(mosquitto*, void* self, int level, const char* text) {
    if ((level & MOSQ_LOG_ERR) != 0 && text)
        static_cast<TConnection*>(self)->LastError = text;
}

void OnPublish(mosquitto*, void* self, int id) {
    auto& connection = *static_cast<TConnection*>(self);
    connection.Owed.erase(id);
    if (id == connection.FinalId)
        connection.FinalAcknowledged = true;
}

} // namespace

struct TMqttPublisher::TShared {
    explicit TShared(TPublisherSettings given)
        : Settings(std::move(given)), Queue(Settings.LaneBytes) {}

    const TPublisherSettings Settings;
    mutable std::mutex Mutex;
    std::condition_variable Wake;
    TPublishQueue Queue;
    std::vector<TPublisherNotice> Notices;
    bool Stopping = false;
    std::optional<std::string> FinalStatus;
    bool FinalAcknowledged = false;
    bool Finished = false;
    bool Connected = false;

    void Notice(bool warning, std::string text) {
        const std::lock_guard lock(Mutex);
        Notices.push_back(TPublisherNotice{warning, std::move(text)});
    }
};

namespace {

using TShared = TMqttPublisher::TShared;

// The thread's side: connects, reconnects, publishes and ends when asked.
class TPublisherLoop {
public:
    explicit TPublisherLoop(std::shared_ptr<TShared> shared)
        : shared_(std::move(shared)), settings_(shared_->Settings), pause_(settings_.RetryFirst) {}

    void Run() {
        // A write to a socket the broker closed raises SIGPIPE in the writing thread (TLS writes
        // do not ask the kernel to spare it); blocked here, the write fails with EPIPE instead.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

        for (;;) {
            bool stopping = false;
            bool lastWord = false;
            {
                const std::lock_guard lock(shared_->Mutex);
                stopping = shared_->Stopping;
                lastWord = shared_->FinalStatus.has_value();
            }
            const bool online = connection_ && connection_->Online;
            // Without a connection nothing more can be said; without a last word nothing is to
            // be: the connection is dropped and the broker publishes the will.
            if (stopping && (!online || !lastWord))
                break;
            if (!connection_ && !Connect())
                continue;
            if (connection_->Online) {
                if (stopping && SayLastWord())
                    break;
                PublishQueued();
            }
            const int rc = mosquitto_loop(connection_->Client, LoopSlice_ms, 1);
            if (!Check(rc))
                continue;
        }
        connection_.reset();
        const std::lock_guard lock(shared_->Mutex);
        shared_->Connected = false;
        shared_->Finished = true;
        shared_->Wake.notify_all();
    }

private:
    // Starts an attempt when its time has come; false when there is none to loop on yet.
    bool Connect() {
        {
            std::unique_lock lock(shared_->Mutex);
            if (SteadyClock::now() < nextAttempt_) {
                shared_->Wake.wait_until(lock, nextAttempt_, [this] { return shared_->Stopping; });
                return false;
            }
        }
        auto connection = std::make_unique<TConnection>();
        // A client id of the library's choosing: two consoles must never take each other's
        // session, whatever their rig names.
        connection->Client = mosquitto_new(nullptr, true, connection.get());
        if (!connection->Client) {
            Failed("the MQTT client cannot be made: " + std::string(std::strerror(errno)));
            return false;
        }
        mosquitto* client = connection->Client;
        mosquitto_connect_callback_set(client, OnConnect);
        mosquitto_disconnect_callback_set(client, OnDisconnect);
        mosquitto_publish_callback_set(client, OnPublish);
        mosquitto_log_callback_set(client, OnLog);
        mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        int rc = mosquitto_will_set(client, settings_.StatusTopic.c_str(),
                                    static_cast<int>(std::strlen(StatusOfflineText)),
                                    StatusOfflineText, 1, true);
        if (rc == MOSQ_ERR_SUCCESS && settings_.Credentials)
            rc = mosquitto_username_pw_set(client, settings_.Credentials->User.c_str(),
                                           settings_.Credentials->Password.c_str());
        if (rc == MOSQ_ERR_SUCCESS && settings_.Broker.Tls)
            // The system's certificate authorities (SSL_CERT_FILE and SSL_CERT_DIR name others);
            // the broker's name is checked against its certificate.
            rc = mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        if (rc == MOSQ_ERR_SUCCESS) {
            connection->Started = SteadyClock::now();
            rc = mosquitto_connect_async(client, settings_.Broker.Host.c_str(),
                                         settings_.Broker.Port, settings_.KeepAlive_s);
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            Failed(Reason(rc, *connection));
            return false;
        }
        connection_ = std::move(connection);
        return true;
    }

    std::string Reason(int rc, const TConnection& connection) const {
        std::string reason = ErrorText(rc, settings_.KeepAlive_s);
        // "A TLS error occurred" alone does not tell a lab what to mend.
        if ((rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE) && !connection.LastError.empty())
            reason += ": " + connection.LastError;
        return reason;
    }

    // After a turn of the loop: what the broker answered, or why the connection is gone. False
    // when the connection was dropped.
    bool Check(int rc) {
        TConnection& connection = *connection_;
        if (connection.Answered && connection.AnswerCode != 0) {
            Drop("it refused the connection: " +
                 WithoutFullStop(mosquitto_connack_string(connection.AnswerCode)));
            return false;
        }
        if (rc != MOSQ_ERR_SUCCESS || connection.Lost) {
            Drop(Reason(rc != MOSQ_ERR_SUCCESS ? rc : connection.LostCode, connection));
            return false;
        }
        if (!connection.Answered) {
            if (SteadyClock::now() - connection.Started >
                std::chrono::seconds(settings_.KeepAlive_s)) {
                Drop("no answer within " + std::to_string(settings_.KeepAlive_s) + " s");
                return false;
            }
            return true;
        }
        if (!connection.Online)
            Accepted();
        return true;
    }

    void Accepted() {
        TConnection& connection = *connection_;
        connection.Online = true;
        pause_ = settings_.RetryFirst;
        mosquitto_publish(connection.Client, nullptr, settings_.StatusTopic.c_str(),
                          static_cast<int>(std::strlen(StatusOnlineText)), StatusOnlineText, 1,
                          true);
        std::array<std::uint64_t, LaneCount> dropped{};
        {
            const std::lock_guard lock(shared_->Mutex);
            shared_->Connected = true;
            for (std::size_t lane = 0; lane < LaneCount; ++lane)
                dropped[lane] = shared_->Queue.TakeDropped(static_cast<TLane>(lane));
        }
        std::string text =
            everOnline_ ? "MQTT broker " + settings_.Broker.Text() + " is back; publishing again"
                        : "Publishing to " + settings_.Broker.Text() + " under " +
                              TopicPrefix(settings_.StatusTopic);
        const char* const what[LaneCount] = {"rows", "device states", "events"};
        for (std::size_t lane = 0; lane < LaneCount; ++lane)
            if (dropped[lane] > 0)
                text += "; " + std::to_string(dropped[lane]) + " older " + what[lane] +
                        " were dropped while it was away";
        shared_->Notice(false, std::move(text));
        everOnline_ = true;
        toldUnreachable_ = false;
    }

    void PublishQueued() {
        TConnection& connection = *connection_;
        for (int n = 0; n < MessagesPerTurn; ++n) {
            // The socket is full (a slow or stopped broker): the rest stay in the bounded queue
            // rather than piling up in the library.
            if (mosquitto_want_write(connection.Client) || connection.Owed.size() >= MostOwed)
                return;
            std::optional<TOutgoing> message;
            {
                const std::lock_guard lock(shared_->Mutex);
                message = shared_->Queue.Pop();
            }
            if (!message)
                return;
            int id = 0;
            const int rc =
                mosquitto_publish(connection.Client, &id, message->Topic.c_str(),
                                  static_cast<int>(message->Payload.size()),
                                  message->Payload.data(), message->Qos, message->Retain);
            if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NOMEM) {
                const std::lock_guard lock(shared_->Mutex);
                shared_->Queue.Return(std::move(*message));
                return;
            }
            if (rc != MOSQ_ERR_SUCCESS) {
                // This message can never be sent (a topic or payload the protocol refuses).
                shared_->Notice(false, "A message to " + message->Topic + " cannot be published: " +
                                           ErrorText(rc, settings_.KeepAlive_s));
                continue;
            }
            if (message->Qos > 0)
                connection.Owed.emplace(id, std::move(*message));
        }
    }

    // Publishes the last word once everything queued is out; true when it has been acknowledged
    // and the connection closed cleanly.
    bool SayLastWord() {
        TConnection& connection = *connection_;
        if (connection.FinalId < 0) {
            std::string status;
            {
                const std::lock_guard lock(shared_->Mutex);
                if (!shared_->Queue.Empty())
                    return false;
                status = *shared_->FinalStatus;
            }
            int id = 0;
            if (mosquitto_publish(connection.Client, &id, settings_.StatusTopic.c_str(),
                                  static_cast<int>(status.size()), status.data(), 1,
                                  true) != MOSQ_ERR_SUCCESS)
                return false;
            connection.FinalId = id;
        }
        if (!connection.FinalAcknowledged || !connection.Owed.empty())
            return false;
        {
            const std::lock_guard lock(shared_->Mutex);
            shared_->FinalAcknowledged = true;
        }
        mosquitto_disconnect(connection.Client);
        const auto until = SteadyClock::now() + DisconnectBound;
        while (SteadyClock::now() < until &&
               mosquitto_loop(connection.Client, LoopSlice_ms, 1) == MOSQ_ERR_SUCCESS) {
        }
        return true;
    }

    // The attempt or the connection failed: what was owed goes back to the queue, and the next
    // attempt waits.
    void Drop(const std::string& reason) {
        if (connection_) {
            const std::lock_guard lock(shared_->Mutex);
            for (auto& [id, message] : connection_->Owed)
                shared_->Queue.Return(std::move(message));
            shared_->Connected = false;
        }
        connection_.reset();
        Failed(reason);
    }

    void Failed(const std::string& reason) {
        if (!toldUnreachable_) {
            toldUnreachable_ = true;
            shared_->Notice(true, "MQTT broker " + settings_.Broker.Text() + " is unreachable (" +
                                      reason +
                                      "); its messages wait for it, the oldest rows and device "
                                      "states going first once the queue is full");
        }
        nextAttempt_ = SteadyClock::now() + pause_;
        pause_ = std::min(pause_ * 2, settings_.RetryLongest);
    }

    static constexpr const char* StatusOnlineText = "online";
    static constexpr const char* StatusOfflineText = "offline";

    std::shared_ptr<TShared> shared_;
    const TPublisherSettings& settings_;
    std::unique_ptr<TConnection> connection_;
    SteadyClock::time_point nextAttempt_{};
    std::chrono::milliseconds pause_;
    bool everOnline_ = false;
    bool toldUnreachable_ = false;
};

} // namespace

TMqttPublisher::TMqttPublisher(TPublisherSettings settings)
    : shared_(std::make_shared<TShared>(std::move(settings))) {
    InitialiseLibraryOnce();
    thread_ = std::thread([shared = shared_] { TPublisherLoop(shared).Run(); });
}

TMqttPublisher::~TMqttPublisher() {
    Stop(std::nullopt, DropBound);
}

void TMqttPublisher::Publish(TOutgoing message) {
    const std::lock_guard lock(shared_->Mutex);
    if (shared_->Stopping)
        return;
    shared_->Queue.Push(std::move(message));
}

bool TMqttPublisher::Finish(const std::string& status, std::chrono::milliseconds bound) {
    Stop(status, bound);
    const std::lock_guard lock(shared_->Mutex);
    return shared_->FinalAcknowledged;
}

void TMqttPublisher::Stop(std::optional<std::string> status, std::chrono::milliseconds bound) {
    if (!thread_.joinable())
        return;
    std::unique_lock lock(shared_->Mutex);
    shared_->Stopping = true;
    shared_->FinalStatus = std::move(status);
    shared_->Wake.notify_all();
    const bool finished = shared_->Wake.wait_for(lock, bound, [this] { return shared_->Finished; });
    lock.unlock();
    if (finished)
        thread_.join();
    else
        // Stuck in the network (a name look-up, a broker that stopped answering mid-way): the
        // thread ends on its own with its shared state; the caller goes on.
        thread_.detach();
}

std::vector<TPublisherNotice> TMqttPublisher::TakeNotices() {
    const std::lock_guard lock(shared_->Mutex);
    return std::exchange(shared_->Notices, {});
}

bool TMqttPublisher::Connected() const {
    const std::lock_guard lock(shared_->Mutex);
    return shared_->Connected;
}

std::size_t TMqttPublisher::QueuedBytes() const {
    const std::lock_guard lock(shared_->Mutex);
    return shared_->Queue.Bytes();
}

std::size_t TMqttPublisher::QueuedCount() const {
    const std::lock_guard lock(shared_->Mutex);
    return shared_->Queue.Count();
}
