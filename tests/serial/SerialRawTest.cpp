// SendData, the raw-byte exchange: bytes out, bytes back untouched, the first two registers of
// a register-read reply decoded; and the response record's reset.
#include "PtyPeer.h"
#include "serial/SerialPort.h"

#include <gtest/gtest.h>
#include <regex>

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (const int v : values)
        bytes += static_cast<char>(v);
    return bytes;
}

class SerialRaw : public ::testing::Test {
protected:
    TSerialResponse Exchange(const std::string& request, bool wait = true) {
        port.fPort = peer.SlavePath();
        return port.SendData(request.data(), request.size(), wait);
    }

    TPtyPeer peer;
    TSerialPort port;
    // A register read: address 1, function 3, two registers from 0.
    const std::string request = Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B});
};

TEST_F(SerialRaw, DecodesTheFirstTwoRegistersHighByteFirst) {
    const struct {
        std::string reply;
        int first, second;
    } cases[] = {
        {Bytes({0x01, 0x03, 0x04, 0x12, 0x34, 0xAB, 0xCD, 0x00, 0x00}), 0x1234, 0xABCD},
        {Bytes({0x01, 0x03, 0x04, 0xFF, 0xFF, 0x00, 0x00}), 0xFFFF, 0},
        // Too short to hold a register: no value rather than stale or invented bytes.
        {Bytes({0x01, 0x83, 0x02, 0x7E, 0x09}), 0x7E09, -1},
        {Bytes({0x01, 0x83, 0x02}), -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.size());
        TPtyPeer peer;
        peer.Answer(request, c.reply);
        peer.Start();
        port.fPort = peer.SlavePath();
        const TSerialResponse response = port.SendData(request.data(), request.size(), true);
        EXPECT_EQ(response.Status, "");
        EXPECT_EQ(response.Response, c.reply); // untrimmed, zero bytes included
        EXPECT_EQ(response.ResponseLength, c.reply.size());
        EXPECT_EQ(std::string(response.rArray.begin(), response.rArray.begin() + c.reply.size()),
                  c.reply);
        EXPECT_EQ(response.ValueOfFirstWord, c.first);
        EXPECT_EQ(response.ValueOfSecondWord, c.second);
        EXPECT_EQ(peer.Received(), request);
    }
}

TEST_F(SerialRaw, AFullReplyOf256BytesKeepsItsLength) {
    std::string reply;
    for (int i = 0; i < 300; ++i)
        reply += static_cast<char>(i);
    peer.Answer(request, reply);
    peer.Start();
    const TSerialResponse response = Exchange(request);
    EXPECT_EQ(response.Status, "");
    EXPECT_EQ(response.ResponseLength, 256);
    EXPECT_EQ(response.Response, reply.substr(0, 256));
}

TEST_F(SerialRaw, SilenceAndNoWaitHaveTheirOwnStatus) {
    peer.Start();
    TSerialResponse response = Exchange(request, false);
    EXPECT_EQ(response.Status, "");
    EXPECT_EQ(response.Response, "");

    port.fDebug = true;
    response = Exchange(request);
    EXPECT_EQ(response.Status, "Timeout while waiting for response");
    EXPECT_EQ(response.ResponseLength, 0);
    // Steps 1 to 8 ran; the read (9) did not.
    EXPECT_TRUE(std::regex_match(port.fDebugMSG,
                                 std::regex(R"((Time  [1-8]: \d\d:\d\d:\d\d\.\d\d\d\r\n){8})")))
        << port.fDebugMSG;
}

TEST_F(SerialRaw, DebugTimingsCoverEveryStepOfAnAnsweredExchange) {
    peer.Answer(request, Bytes({0x01, 0x03, 0x04, 0, 1, 0, 2}));
    peer.Start();
    port.fDebug = true;
    const TSerialResponse response = Exchange(request);
    ASSERT_EQ(response.Status, "");
    std::string steps;
    const std::regex line(R"(Time  (\d): \d\d:\d\d:\d\d\.\d\d\d\r\n)");
    for (auto it = std::sregex_iterator(port.fDebugMSG.begin(), port.fDebugMSG.end(), line);
         it != std::sregex_iterator(); ++it)
        steps += (*it)[1].str();
    EXPECT_EQ(steps, "123456789");

    port.fDebug = false;
    Exchange(request);
    EXPECT_EQ(port.fDebugMSG, "");
}

TEST(SerialResponse, InitResetsEverythingButTheRawArrays) {
    TSerialResponse response;
    response.SentMessage = "x";
    response.Response = "y";
    response.Status = "z";
    response.AsHex = response.AsInt = response.AsString = "w";
    response.rDouble = 5;
    response.ValueOfFirstWord = response.ValueOfSecondWord = 7;
    response.ResponseLength = 9;
    response.AsFloat = 2;
    response.AsInteger = 3;
    response.rArray[0] = 0x42;
    response.WordArray[1] = 0x4242;

    response.Init();
    EXPECT_EQ(response.SentMessage + response.Response + response.Status + response.AsHex +
                  response.AsInt + response.AsString,
              "");
    EXPECT_EQ(response.rDouble, -1.0);
    EXPECT_EQ(response.ValueOfFirstWord, -1);
    EXPECT_EQ(response.ValueOfSecondWord, -1);
    EXPECT_EQ(response.ResponseLength, 0);
    EXPECT_EQ(response.AsFloat, -1.0f);
    EXPECT_EQ(response.AsInteger, -1);
    EXPECT_EQ(response.rArray[0], 0x42);
    EXPECT_EQ(response.WordArray[1], 0x4242);
}

} // namespace
