// The publisher against Debian's mosquitto, started by each test on a free local port: what a
// watcher receives (topic, payload, QoS, retained), the last will of a console that vanishes and
// the last word of one that ends, messages that wait for a broker that is away, a broker that
// never answers, TLS with the system's trust and the broker's name checked, and credentials.
#include "telemetry/MqttPublisher.h"
#include "support/MosquittoBroker.h"
#include "support/MqttSubscriber.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// Bounds for what waits on the broker: generous for a loaded two-core machine.
constexpr auto Arrival = 20s;

const std::string StatusTopic = "orvello/test/status";

TPublisherSettings SettingsFor(const TMosquittoBroker& broker) {
    TPublisherSettings settings;
    std::string error;
    settings.Broker = *ParseBrokerUrl(broker.Url(), error);
    settings.StatusTopic = StatusTopic;
    settings.RetryLongest = 1s;
    return settings;
}

TOutgoing Row(const std::string& payload) {
    return TOutgoing{"orvello/test/rows", payload, 0, false, TLane::Rows};
}

TOutgoing Event(const std::string& payload) {
    return TOutgoing{"orvello/test/events", payload, 1, false, TLane::Events};
}

std::vector<std::string> Payloads(const std::vector<TReceived>& messages) {
    std::vector<std::string> payloads;
    for (const TReceived& message : messages)
        payloads.push_back(message.Payload);
    return payloads;
}

std::string Texts(const std::vector<TPublisherNotice>& notices) {
    std::string text;
    for (const TPublisherNotice& notice : notices)
        text += (notice.Warning ? "warning: " : "line: ") + notice.Text + "\n";
    return text;
}

// Collects the publisher's notices as the console's tick does, until one holds the text.
bool WaitForNotice(TMqttPublisher& publisher, std::vector<TPublisherNotice>& seen,
                   const std::string& text, std::chrono::milliseconds bound = Arrival) {
    return TMqttSubscriber::WaitUntil(
        [&] {
            for (TPublisherNotice& notice : publisher.TakeNotices())
                seen.push_back(std::move(notice));
            return std::any_of(seen.begin(), seen.end(), [&](const TPublisherNotice& notice) {
                return notice.Text.find(text) != std::string::npos;
            });
        },
        bound);
}

int Warnings(const std::vector<TPublisherNotice>& notices) {
    return static_cast<int>(std::count_if(notices.begin(), notices.end(),
                                          [](const TPublisherNotice& n) { return n.Warning; }));
}

std::optional<std::string> LastOn(const TMqttSubscriber& subscriber, const std::string& topic) {
    const std::vector<TReceived> messages = subscriber.On(topic);
    if (messages.empty())
        return std::nullopt;
    return messages.back().Payload;
}

class MqttPublisherTest : public ::testing::Test {
protected:
    void StartBroker(TMosquittoBroker& broker) {
        std::string error;
        ASSERT_TRUE(broker.Start(error)) << error;
    }
};

} // namespace

TEST_F(MqttPublisherTest, WatchersGetEachKindAsPublishedAndTheLastWordStays) {
    TMosquittoBroker broker;
    StartBroker(broker);
    TMqttSubscriber live(broker.Port());
    ASSERT_TRUE(live.WaitSubscribed(Arrival));

    auto publisher = std::make_unique<TMqttPublisher>(SettingsFor(broker));
    std::vector<TPublisherNotice> notices;
    ASSERT_TRUE(WaitForNotice(*publisher, notices, "Publishing to " + broker.Url()));
    EXPECT_EQ(Texts(notices), "line: Publishing to " + broker.Url() + " under orvello/test/\n");
    EXPECT_TRUE(publisher->Connected());
    publisher->Publish(Row("row 1"));
    publisher->Publish(
        TOutgoing{"orvello/test/devices/COM3", "COM3 state", 0, true, TLane::States});
    publisher->Publish(Event("event 1"));
    publisher->Publish(Row("row 2"));
    ASSERT_TRUE(TMqttSubscriber::WaitUntil([&] { return live.Messages().size() >= 5; }, Arrival));

    struct TSeen {
        std::string Topic;
        std::string Payload;
        int Qos;
        bool operator==(const TSeen&) const = default;
    };
    std::vector<TSeen> seen;
    for (const TReceived& message : live.Messages())
        seen.push_back(TSeen{message.Topic, message.Payload, message.Qos});
    EXPECT_EQ(seen, (std::vector<TSeen>{{StatusTopic, "online", 1},
                                        {"orvello/test/rows", "row 1", 0},
                                        {"orvello/test/devices/COM3", "COM3 state", 0},
                                        {"orvello/test/events", "event 1", 1},
                                        {"orvello/test/rows", "row 2", 0}}));

    // A watcher that comes later finds the retained ones.
    {
        TMqttSubscriber late(broker.Port());
        ASSERT_TRUE(
            TMqttSubscriber::WaitUntil([&] { return late.Messages().size() >= 2; }, Arrival));
        for (const TReceived& message : late.Messages())
            EXPECT_TRUE(message.Retained) << message.Topic;
        EXPECT_EQ(LastOn(late, StatusTopic), "online");
        EXPECT_EQ(LastOn(late, "orvello/test/devices/COM3"), "COM3 state");
    }

    const auto start = SteadyClock::now();
    EXPECT_TRUE(publisher->Finish("stopped", 10s));
    EXPECT_LT(SteadyClock::now() - start, 5s);
    publisher->Publish(Row("after the end"));
    publisher.reset();
    TMqttSubscriber after(broker.Port());
    ASSERT_TRUE(TMqttSubscriber::WaitUntil([&] { return LastOn(after, StatusTopic).has_value(); },
                                           Arrival));
    EXPECT_EQ(LastOn(after, StatusTopic), "stopped");
    // The clean end is not a vanishing: the will never comes.
    ASSERT_TRUE(
        TMqttSubscriber::WaitUntil([&] { return live.On(StatusTopic).size() >= 2; }, Arrival));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(Payloads(live.On(StatusTopic)), (std::vector<std::string>{"online", "stopped"}));
    EXPECT_EQ(live.On("orvello/test/rows").size(), 2u);
}

TEST_F(MqttPublisherTest, APublisherThatVanishesLeavesItsWillOffline) {
    TMosquittoBroker broker;
    StartBroker(broker);
    TMqttSubscriber watcher(broker.Port());
    ASSERT_TRUE(watcher.WaitSubscribed(Arrival));
    {
        TMqttPublisher publisher(SettingsFor(broker));
        ASSERT_TRUE(TMqttSubscriber::WaitUntil([&] { return publisher.Connected(); }, Arrival));
    }
    ASSERT_TRUE(TMqttSubscriber::WaitUntil(
        [&] { return LastOn(watcher, StatusTopic) == std::optional<std::string>("offline"); },
        Arrival));
    EXPECT_EQ(Payloads(watcher.On(StatusTopic)), (std::vector<std::string>{"online", "offline"}));
}

// The broker stopped and started again: everything published meanwhile waits, events all of
// them, rows up to their bound with the oldest gone first; one warning says the
// broker is unreachable and one line that it is back.
TEST_F(MqttPublisherTest, MessagesWaitForABrokerThatIsAway) {
    TMosquittoBroker broker;
    StartBroker(broker);
    TMqttSubscriber watcher(broker.Port());
    ASSERT_TRUE(watcher.WaitSubscribed(Arrival));
    TPublisherSettings settings = SettingsFor(broker);
    settings.LaneBytes[static_cast<std::size_t>(TLane::Rows)] = 5 * Row("row 00").Bytes();
    TMqttPublisher publisher(settings);
    std::vector<TPublisherNotice> notices;
    ASSERT_TRUE(WaitForNotice(publisher, notices, "Publishing to"));

    broker.Stop();
    ASSERT_TRUE(WaitForNotice(publisher, notices, "is unreachable"));
    for (int i = 10; i < 20; ++i) {
        publisher.Publish(Row("row " + std::to_string(i)));
        if (i % 3 == 0)
            publisher.Publish(Event("event " + std::to_string(i)));
    }
    std::this_thread::sleep_for(1500ms); // a few attempts to reconnect
    EXPECT_FALSE(publisher.Connected());
    EXPECT_EQ(publisher.QueuedCount(), 5u + 3u);

    StartBroker(broker);
    ASSERT_TRUE(WaitForNotice(publisher, notices, "is back"));
    EXPECT_EQ(Warnings(notices), 1) << Texts(notices);
    EXPECT_EQ(notices.back().Text,
              "MQTT broker " + broker.Url() +
                  " is back; publishing again; 5 older rows were dropped while it was away");
    ASSERT_TRUE(TMqttSubscriber::WaitUntil(
        [&] {
            return watcher.On("orvello/test/rows").size() >= 5 &&
                   watcher.On("orvello/test/events").size() >= 3;
        },
        Arrival));
    EXPECT_EQ(Payloads(watcher.On("orvello/test/rows")),
              (std::vector<std::string>{"row 15", "row 16", "row 17", "row 18", "row 19"}));
    EXPECT_EQ(Payloads(watcher.On("orvello/test/events")),
              (std::vector<std::string>{"event 12", "event 15", "event 18"}));
    EXPECT_EQ(publisher.QueuedCount(), 0u);
}

// SIGSTOP leaves a real broker whose kernel still accepts connections but which never answers:
// nothing that hands the publisher a message or ends it may wait for it.
TEST_F(MqttPublisherTest, ABrokerThatNeverAnswersHoldsNothingUp) {
    TMosquittoBroker broker;
    StartBroker(broker);
    broker.Freeze();
    TPublisherSettings settings = SettingsFor(broker);
    auto publisher = std::make_unique<TMqttPublisher>(settings);
    const auto start = SteadyClock::now();
    for (int i = 0; i < 1000; ++i)
        publisher->Publish(Row("row " + std::to_string(i)));
    EXPECT_LT(SteadyClock::now() - start, 1s);
    std::vector<TPublisherNotice> notices;
    ASSERT_TRUE(WaitForNotice(*publisher, notices, "(no answer within 5 s)")) << Texts(notices);
    EXPECT_EQ(Texts(notices).rfind("warning: MQTT broker " + broker.Url() + " is unreachable", 0),
              0u)
        << Texts(notices);

    const auto end = SteadyClock::now();
    EXPECT_FALSE(publisher->Finish("stopped", 10s));
    publisher.reset();
    EXPECT_LT(SteadyClock::now() - end, 1s);
    broker.Thaw();
}

// A broker that stops answering after it was reached: the last word is waited for only within
// the bound the caller gives.
TEST_F(MqttPublisherTest, TheLastWordWaitsNoLongerThanItsBound) {
    TMosquittoBroker broker;
    StartBroker(broker);
    TMqttPublisher publisher(SettingsFor(broker));
    ASSERT_TRUE(TMqttSubscriber::WaitUntil([&] { return publisher.Connected(); }, Arrival));
    broker.Freeze();
    const auto start = SteadyClock::now();
    EXPECT_FALSE(publisher.Finish("stopped", 1500ms));
    const auto waited = SteadyClock::now() - start;
    EXPECT_GE(waited, 1400ms);
    EXPECT_LT(waited, 4s);
    broker.Thaw();
}

// mqtts:// trusts the system's certificate authorities (SSL_CERT_FILE names another store, as a
// lab with a private authority sets it) and checks the broker's name against its certificate.
TEST_F(MqttPublisherTest, TlsTrustsTheSystemsAuthoritiesAndChecksTheBroker) {
    TMosquittoBroker broker(TMosquittoBroker::TOptions{true, "", ""});
    StartBroker(broker);
    TMqttSubscriber::TOptions watching;
    watching.CaFile = broker.Certificate();
    TMqttSubscriber watcher(broker.Port(), watching);
    ASSERT_TRUE(watcher.WaitSubscribed(Arrival)) << broker.Log();
    const char* previous = std::getenv("SSL_CERT_FILE");
    const std::string saved = previous ? previous : "";

    {
        // Not trusted: the system's store does not hold the broker's self-made certificate.
        ::setenv("SSL_CERT_FILE", "/nonexistent", 1);
        TMqttPublisher publisher(SettingsFor(broker));
        std::vector<TPublisherNotice> notices;
        ASSERT_TRUE(WaitForNotice(publisher, notices, "is unreachable"));
        EXPECT_NE(Texts(notices).find("certificate verify failed"), std::string::npos)
            << Texts(notices);
        EXPECT_FALSE(publisher.Connected());
    }
    ::setenv("SSL_CERT_FILE", broker.Certificate().c_str(), 1);
    {
        // Trusted, but asked for by a name its certificate does not give.
        TPublisherSettings settings = SettingsFor(broker);
        settings.Broker.Host = "localhost";
        TMqttPublisher publisher(settings);
        std::vector<TPublisherNotice> notices;
        ASSERT_TRUE(WaitForNotice(publisher, notices, "is unreachable"));
        EXPECT_NE(Texts(notices).find("certificate verify failed"), std::string::npos)
            << Texts(notices);
    }
    {
        TMqttPublisher publisher(SettingsFor(broker));
        std::vector<TPublisherNotice> notices;
        ASSERT_TRUE(WaitForNotice(publisher, notices, "Publishing to mqtts://127.0.0.1:"))
            << Texts(notices) << broker.Log();
        publisher.Publish(Event("over TLS"));
        ASSERT_TRUE(TMqttSubscriber::WaitUntil(
            [&] { return !watcher.On("orvello/test/events").empty(); }, Arrival));
        EXPECT_EQ(LastOn(watcher, "orvello/test/events"), "over TLS");
        EXPECT_TRUE(publisher.Finish("stopped", 10s));
    }
    if (previous)
        ::setenv("SSL_CERT_FILE", saved.c_str(), 1);
    else
        ::unsetenv("SSL_CERT_FILE");
    ASSERT_TRUE(
        TMqttSubscriber::WaitUntil([&] { return watcher.On(StatusTopic).size() >= 2; }, Arrival));
    EXPECT_EQ(Payloads(watcher.On(StatusTopic)), (std::vector<std::string>{"online", "stopped"}));
}

TEST_F(MqttPublisherTest, TheBrokerChecksTheCredentials) {
    TMosquittoBroker broker(TMosquittoBroker::TOptions{false, "rig1", "s3cret"});
    StartBroker(broker);
    TMqttSubscriber::TOptions watching;
    watching.User = "rig1";
    watching.Password = "s3cret";
    TMqttSubscriber watcher(broker.Port(), watching);
    ASSERT_TRUE(watcher.WaitSubscribed(Arrival));

    const struct {
        const char* what;
        std::optional<TBrokerCredentials> credentials;
        const char* notice;
    } cases[] = {
        {"none", std::nullopt, "refused the connection: Connection Refused: not authorised"},
        {"a wrong password", TBrokerCredentials{"rig1", "guess"},
         "refused the connection: Connection Refused: not authorised"},
        {"the right ones", TBrokerCredentials{"rig1", "s3cret"}, "Publishing to"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TPublisherSettings settings = SettingsFor(broker);
        settings.Credentials = c.credentials;
        TMqttPublisher publisher(settings);
        std::vector<TPublisherNotice> notices;
        EXPECT_TRUE(WaitForNotice(publisher, notices, c.notice)) << Texts(notices);
    }
    // Only the one let in said anything: "online", then its will.
    ASSERT_TRUE(
        TMqttSubscriber::WaitUntil([&] { return watcher.On(StatusTopic).size() >= 2; }, Arrival));
    EXPECT_EQ(Payloads(watcher.On(StatusTopic)), (std::vector<std::string>{"online", "offline"}));
}
