// How an exchange fails: ports that do not exist or are refused, ports held by someone else,
// instruments that vanish mid-exchange. Every case must come back with its status text, fast
// where nothing can be waited for, and leave the port free again.
#include "PtyPeer.h"
#include "serial/SerialLine.h"
#include "serial/SerialPort.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using SteadyClock = std::chrono::steady_clock;
const std::string PortInUse = "Failed to setup Com port, port in use";

double SecondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

TSerialResponse Exchange(const std::string& port, const std::string& message,
                         double* seconds = nullptr, int baud = 9600, int parity = 0,
                         int stopBits = 0) {
    TSerialPort serial;
    serial.fPort = port;
    serial.fBaudRate = baud;
    serial.fParity = parity;
    serial.fStopBits = stopBits;
    const auto start = SteadyClock::now();
    TSerialResponse response = serial.Send2(message, true);
    if (seconds)
        *seconds = SecondsSince(start);
    return response;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(SerialPortFailure, PortsThatCannotBeOpenedOrConfiguredAreReportedAsInUse) {
    TTempPortFolder folder;
    const std::string plainFile = folder.Path() + "/not-a-terminal";
    std::ofstream(plainFile) << "keep me";
    folder.Link("COM9", "/nonexistent/pts/77");

    for (const std::string& port : std::vector<std::string>{
             "ttyNoSuchPort", "", "../../etc/hostname", "/nonexistent/port", plainFile, "COM9"}) {
        SCOPED_TRACE(port);
        double seconds = 0;
        const TSerialResponse response = Exchange(port, "A\r", &seconds);
        EXPECT_EQ(response.Status, PortInUse);
        EXPECT_EQ(response.Response, "");
        EXPECT_LT(seconds, 0.2);
    }
    // A file that is no terminal is refused before anything is written into it.
    EXPECT_EQ(ReadFile(plainFile), "keep me");
}

TEST(SerialPortFailure, LineSettingsTheLineCannotTakeAreRefused) {
    TPtyPeer peer;
    peer.Start();
    const struct {
        int baud, parity, stopBits;
        bool accepted;
    } cases[] = {
        {9600, 0, 0, true},   {19200, 1, 2, true},  {115200, 2, 0, true}, {9600, 3, 0, true},
        {9600, 4, 2, true},   {12345, 0, 0, false}, {9600, 5, 0, false},  {9600, 0, 1, false},
        {9600, -1, 0, false}, {0, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.baud << " " << c.parity << " " << c.stopBits);
        TSerialPort port;
        port.fBaudRate = c.baud;
        port.fParity = c.parity;
        port.fStopBits = c.stopBits;
        TSerialLine line;
        ASSERT_TRUE(line.Open(peer.SlavePath()));
        EXPECT_EQ(port.SetDCBState(line.Descriptor()), c.accepted);
        if (!c.accepted)
            continue;
        termios settings{};
        ASSERT_EQ(tcgetattr(line.Descriptor(), &settings), 0);
        EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        // Pseudo-terminals always report 8 bits without parity, so parity is not checked here.
        EXPECT_EQ((settings.c_cflag & CSTOPB) != 0, c.stopBits == 2);
        EXPECT_EQ(settings.c_lflag & (ICANON | ECHO), 0u);
    }
    // Refused settings end the exchange before the write.
    const std::string refused = Exchange(peer.SlavePath(), "A\r", nullptr, 12345).Status;
    EXPECT_EQ(refused, PortInUse);
    EXPECT_EQ(peer.Received(), "");

    TSerialPort port;
    EXPECT_FALSE(port.SetDCBState(-1));
    EXPECT_FALSE(port.SetTimeOuts(-1));
    EXPECT_FALSE(port.SetBuffers(-1));
}

TEST(SerialPortFailure, ASecondOpenerInThisProcessFindsThePortInUse) {
    TPtyPeer peer;
    peer.Answer("A\r", "A 1\r");
    peer.Start();

    // A silent exchange holds the port for about 1.33 s; another one in the meantime must fail
    // at once, through the link as much as through the device path.
    TTempPortFolder folder;
    folder.Link("COM4", peer.SlavePath());
    std::string firstStatus;
    std::thread holder([&] { firstStatus = Exchange(peer.SlavePath(), "SILENT\r").Status; });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (const std::string& port : std::vector<std::string>{"COM4", peer.SlavePath()}) {
        double seconds = 0;
        EXPECT_EQ(Exchange(port, "A\r", &seconds).Status, PortInUse);
        EXPECT_LT(seconds, 0.2);
    }
    holder.join();
    EXPECT_EQ(firstStatus, "Timeout while waiting for response, exiting");

    // Closed again on every path: the port is free for the next exchange.
    const TSerialResponse after = Exchange("COM4", "A\r");
    EXPECT_EQ(after.Status, "");
    EXPECT_EQ(after.Response, "A 1");
}

TEST(SerialPortFailure, APortHeldByAnotherProcessIsInUse) {
    TPtyPeer peer; // no thread yet: fork only copies the calling thread
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only async-signal-safe calls in the child of a threaded test program.
        close(release[1]);
        close(ready[0]);
        const int fd = open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        const char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        char ignored;
        (void)!read(release[0], &ignored, 1);
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char ok = '0';
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, '1');

    EXPECT_EQ(Exchange(peer.SlavePath(), "A\r").Status, PortInUse);

    close(release[1]);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    // The child's exit released its lock.
    TSerialPort port;
    port.fPort = peer.SlavePath();
    EXPECT_EQ(port.Send2("A\r", false).Status, "Exit read/write without waiting for reply");
}

TEST(SerialPortFailure, AnInstrumentThatVanishesGivesAnErrorNotAHang) {
    {
        // Unplugged before the exchange: the device and its link are gone.
        TPtyPeer peer;
        TTempPortFolder folder;
        folder.Link("COM5", peer.SlavePath());
        peer.CloseMaster();
        double seconds = 0;
        EXPECT_EQ(Exchange("COM5", "A\r", &seconds).Status, PortInUse);
        EXPECT_LT(seconds, 0.2);
    }
    {
        // Unplugged after the command arrived: found at the next look, not after the timeout.
        TPtyPeer peer;
        peer.HangUpOn("A\r");
        peer.Start();
        double seconds = 0;
        const TSerialResponse response = Exchange(peer.SlavePath(), "A\r", &seconds);
        EXPECT_EQ(response.Status, "Failed to read from Com port");
        EXPECT_EQ(response.Response, "");
        EXPECT_LT(seconds, 0.9);
    }
    {
        // Unplugged after the reply was seen but before it was read. Whether the kernel still
        // hands out the bytes that arrived before the hang-up depends on the moment, so either
        // outcome is sound; what must hold is a clear result, never a hang.
        TPtyPeer peer;
        peer.HangUpOn("A\r", 450, "A 1\r");
        peer.Start();
        double seconds = 0;
        const TSerialResponse response = Exchange(peer.SlavePath(), "A\r", &seconds);
        if (response.Status.empty())
            EXPECT_EQ(response.Response, "A 1");
        else
            EXPECT_EQ(response.Status, "Failed to read from Com port");
        EXPECT_LT(seconds, 1.5);
    }
}

} // namespace
