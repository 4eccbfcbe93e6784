// Send2 against a stand-in instrument on a real pseudo-terminal, reached through a link in a
// temporary rig port folder as the console reaches the simulated rig.
#include "PtyPeer.h"
#include "serial/SerialPort.h"

#include "platform/Diagnostics.h"

#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <regex>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

double SecondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

class TRecordingDiagnostics : public Diagnostics {
public:
    void Send(const std::string& category, const std::string& text) override {
        std::lock_guard lock(mutex);
        lines.push_back(category + "|" + text);
    }
    std::mutex mutex;
    std::vector<std::string> lines;
};

class SerialExchange : public ::testing::Test {
protected:
    void SetUp() override { folder.Link("COM3", peer.SlavePath()); }

    TSerialResponse Exchange(const std::string& message, bool wait = true) {
        TSerialPort port;
        port.fPort = "COM3";
        port.fBaudRate = 19200;
        const auto start = SteadyClock::now();
        TSerialResponse response = port.Send2(message, wait);
        seconds = SecondsSince(start);
        return response;
    }

    TPtyPeer peer;
    TTempPortFolder folder;
    double seconds = 0;
};

TEST_F(SerialExchange, RepliesAreTrimmedAndTheCommandGoesOutUnchanged) {
    const struct {
        std::string command, reply, expected;
    } cases[] = {
        {"A\r", " A 62 count\r", "A 62 count"},
        {"/1?22\r", "/0`255\r\n", "/0`255"},
        {"A??M5\r\r", "\t\r\n", ""},
    };
    for (const auto& c : cases)
        peer.Answer(c.command, c.reply);
    peer.Start();

    std::string sent;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const TSerialResponse response = Exchange(c.command);
        EXPECT_EQ(response.Status, "");
        EXPECT_EQ(response.Response, c.expected);
        EXPECT_EQ(response.SentMessage, c.command);
        sent += c.command;
    }
    EXPECT_EQ(peer.Received(), sent);
}

TEST_F(SerialExchange, ALongReplyIsCutAt80BytesAndTheRestIsDropped) {
    std::string longReply;
    for (int i = 0; i < 100; ++i)
        longReply += static_cast<char>('0' + i % 10);
    peer.Answer("LONG\r", longReply);
    peer.Answer("A\r", "A 1\r");
    peer.Start();

    const TSerialResponse first = Exchange("LONG\r");
    EXPECT_EQ(first.Status, "");
    EXPECT_EQ(first.Response, longReply.substr(0, 80));
    // The 20 bytes left behind must not pass for the next reply.
    const TSerialResponse next = Exchange("A\r");
    EXPECT_EQ(next.Status, "");
    EXPECT_EQ(next.Response, "A 1");
}

TEST_F(SerialExchange, WithoutWaitingItReturnsAtOnceWithItsOwnStatus) {
    peer.Answer("A\r", "A 1\r");
    peer.Start();
    const TSerialResponse response = Exchange("A\r", false);
    EXPECT_EQ(response.Status, "Exit read/write without waiting for reply");
    EXPECT_EQ(response.Response, "");
    EXPECT_LT(seconds, 0.3);
    // The command still went out.
    for (int i = 0; i < 100 && peer.Received().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(peer.Received(), "A\r");
}

// The rhythm the drivers count on: a look right after the write, one every 333 ms, one further
// interval after the reply was seen, and the deadline compared after each sleep.
TEST_F(SerialExchange, KeepsTheLookRhythm) {
    peer.Answer("PROMPT\r", "fast\r", 100);
    peer.Answer("LATE\r", "late\r", 800);
    peer.Start();

    // A reply within the first interval is read only after two intervals.
    TSerialResponse response = Exchange("PROMPT\r");
    EXPECT_EQ(response.Response, "fast");
    EXPECT_GE(seconds, 0.64);
    EXPECT_LT(seconds, 1.2);

    // Seen at the look at 999 ms, inside the 1000 ms deadline: read after the sleep that ends
    // past it.
    response = Exchange("LATE\r");
    EXPECT_EQ(response.Status, "");
    EXPECT_EQ(response.Response, "late");
    EXPECT_GE(seconds, 1.30);
    EXPECT_LT(seconds, 1.9);
}

TEST_F(SerialExchange, ASilentPortTimesOutAfterFourLooks) {
    peer.Start();
    TRecordingDiagnostics sink;
    SetDiagnostics(&sink);
    SetDiagnosticCategoryEnabled("SerialPort", true);
    const TSerialResponse response = Exchange("A\r");
    SetDiagnosticCategoryEnabled("SerialPort", false);
    SetDiagnostics(nullptr);

    ASSERT_GE(sink.lines.size(), 5u);
    const std::vector<std::string> tail(sink.lines.begin() + 4, sink.lines.end() - 1);
    EXPECT_EQ(tail, (std::vector<std::string>{
                        "SerialPort|Waiting for data or timeout",
                        "SerialPort|Waiting for data or timeout",
                        "SerialPort|Waiting for data or timeout",
                        "SerialPort|Waiting for data or timeout",
                        "SerialPort|Timeout",
                        "SerialPort|Timeout while waiting for response, exiting",
                    }));
    EXPECT_EQ(response.Status, "Timeout while waiting for response, exiting");
    EXPECT_EQ(response.Response, "");
    EXPECT_GE(seconds, 1.30);
    EXPECT_LT(seconds, 1.9);
    EXPECT_EQ(peer.Received(), "A\r");
}

TEST_F(SerialExchange, WideTextGoesOutAsLatin1Bytes) {
    peer.Start();
    TSerialPort port;
    port.fPort = "COM3";
    const TSerialResponse response = port.Send2(std::wstring_view(L"A\u00b5\u20ac\r"), false);
    EXPECT_EQ(response.SentMessage, "A\xb5?\r");
    for (int i = 0; i < 100 && peer.Received().size() < 4; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(peer.Received(), "A\xb5?\r");
}

TEST_F(SerialExchange, TracesEveryStepUnderItsCategoryWhenSwitchedOn) {
    peer.Answer("A\r", " A 5\r", 100);
    peer.Start();
    TRecordingDiagnostics sink;
    SetDiagnostics(&sink);

    Exchange("A\r"); // the category starts switched off
    EXPECT_TRUE(sink.lines.empty());

    SetDiagnosticCategoryEnabled("SerialPort", true);
    Exchange("A\r");
    SetDiagnosticCategoryEnabled("SerialPort", false);
    SetDiagnostics(nullptr);

    ASSERT_EQ(sink.lines.size(), 8u);
    EXPECT_EQ(sink.lines[0], "SerialPort|PortName: COM3");
    EXPECT_EQ(sink.lines[1], "SerialPort|Bytes written: 2");
    EXPECT_EQ(sink.lines[2], "SerialPort|As string: A");
    EXPECT_EQ(sink.lines[3], "SerialPort|As ordinals: 65 13 ");
    EXPECT_EQ(sink.lines[4], "SerialPort|Waiting for data or timeout");
    EXPECT_EQ(sink.lines[5], "SerialPort|Waiting for data or timeout");
    EXPECT_EQ(sink.lines[6], "SerialPort|Data read: A 5");
    EXPECT_TRUE(std::regex_match(sink.lines[7], std::regex(R"(SerialPort\|Duration:00:[0-9]{3})")))
        << sink.lines[7];
}

} // namespace
