#include "serial/SerialPort.h"

#include "platform/Clock.h"
#include "platform/Diagnostics.h"
#include "program/UnitUtils.h"
#include "serial/PortFolder.h"
#include "serial/PortList.h"
#include "serial/SerialLine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// How an exchange is timed, and why.
//
// The instruments answer a command line with one reply line but give no length and, for the
// raw exchange, no terminator we could wait for. So the exchange does not read "until the end of
// the reply"; it waits until the reply has had time to arrive and then takes whatever is there
// in one read. The rhythm that does this is fixed, and the drivers above count on it:
//
//  - Right after the write, and then every fWindowsReadLoopTimeoutMS (333 ms), the exchange
//    looks at how many bytes wait in the receive queue, then sleeps one interval. The very first
//    look comes too early for any instrument; the second, at about 333 ms, finds the reply of an
//    instrument that answers promptly.
//  - Seeing bytes does not trigger an immediate read: the interval that follows the look still
//    passes. Replies dribble in at 9600 or 19200 baud (an 80-character status line takes about
//    40 ms at 19200 baud, and an instrument may pause mid-line), and that extra interval lets
//    the rest of the line arrive. A replied exchange therefore takes about 666 ms plus the read.
//  - The deadline (fReadoutTimeoutMS, 1000 ms) is compared after each sleep, never mid-sleep.
//    With 333 ms steps the comparisons fall at 333, 666, 999 and 1332 ms; 999 is still inside
//    1000, so a silent port costs about 1.33 s (2.66 s with the 2500 ms of the one-off MFC
//    exchanges: the eighth comparison, 2664 ms, is the first past 2500). Bytes seen at a look
//    before the deadline are read even when the sleep after that look ends past it.
//  - The read itself ends after 80 bytes, after a 20 ms pause between two bytes, or after
//    10 ms per requested byte plus 200 ms. By then the reply is normally complete, so the gap
//    rule only trims off the wait; a longer reply is cut, and the cut-off rest is discarded when
//    the next exchange opens the port.
//
// The looks are placed on a fixed grid (start + k * interval) and the deadline is compared with
// the grid time. Comparing with the clock after each sleep, as a naive loop would, puts the
// third comparison at 999 ms plus whatever the three sleeps overslept; on a busy machine that
// crosses 1000 ms and a silent port would return after 1.0 s instead of 1.33 s, and a reply
// arriving between 666 and 999 ms would be lost. The grid keeps the number of looks fixed. If
// the thread is held up for longer than one whole interval past the deadline, the clock ends
// the wait anyway.
//
// The whole exchange, the reply included, happens in one open: the port is never held between
// exchanges, so two workers, or the search and a tool, cannot interleave on one instrument.

namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char* const PortInUse = "Failed to setup Com port, port in use";
const char* const TimeoutsRefused = "Failed to setup Com port timeouts";
const char* const BuffersRefused = "Failed to setup Com port buffer size";
const char* const WriteFailed = "Failed to write to Com port";
const char* const ReadFailed = "Failed to read from Com port";

constexpr std::size_t ReplyLimit = 80;
constexpr std::size_t RawReplyLimit = 256;
constexpr milliseconds InterByteGap{20};

milliseconds ReadTotalTimeout(std::size_t requested) {
    return milliseconds(10 * static_cast<long long>(requested) + 200);
}

milliseconds WriteTotalTimeout(std::size_t size) {
    return milliseconds(10 * static_cast<long long>(size) + 1000);
}

void Trace(const std::string& text) {
    Diagnostic("SerialPort", text);
}

// Seconds and milliseconds since start, "ss:zzz".
std::string ElapsedText(SteadyClock::time_point start) {
    const long long ms =
        std::chrono::duration_cast<milliseconds>(SteadyClock::now() - start).count();
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%03lld", ms / 1000, ms % 1000);
    return text;
}

std::string Ordinals(const std::string& bytes) {
    std::string text;
    for (const char c : bytes)
        text += std::to_string(static_cast<unsigned char>(c)) + " ";
    return text;
}

// The looks at the receive queue, on the grid described at the top of this file.
class TLookPacer {
public:
    TLookPacer(std::uint32_t intervalMS, std::uint32_t timeoutMS)
        : start_(SteadyClock::now()), step_(std::max<std::uint32_t>(intervalMS, 1)),
          timeout_(timeoutMS) {}

    void SleepInterval() {
        ++intervals_;
        std::this_thread::sleep_until(start_ + step_ * intervals_);
    }

    bool DeadlinePassed() const {
        return step_ * intervals_ > timeout_ || SteadyClock::now() > start_ + timeout_ + step_;
    }

private:
    SteadyClock::time_point start_;
    milliseconds step_;
    milliseconds timeout_;
    long long intervals_ = 0;
};

enum class TQueueWait { BytesSeen, Silent, PortGone };

// One look at the receive queue, then the interval's sleep. A vanished port ends the wait at
// once, without the sleep.
TQueueWait LookThenSleep(TSerialLine& line, TLookPacer& pacer) {
    const int queued = line.QueuedInput();
    if (queued < 0)
        return TQueueWait::PortGone;
    pacer.SleepInterval();
    return queued > 0 ? TQueueWait::BytesSeen : TQueueWait::Silent;
}

// Whether a link at path may still be followed as far as the rig's port folder is concerned: a
// link in that folder counts only while a rig serves the folder.
bool RigFolderAllows(const std::string& path) {
    std::string folder = RigPortFolder();
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || path.compare(0, slash, folder) != 0 || slash != folder.size())
        return true;
    return IsPortFolderServed(folder);
}

// Opens the port that the name leads to. A path through a symbolic link is followed only to a
// pseudo-terminal of this user: looked at before the open, because opening a real device can
// already reset what hangs on it, and checked again on the open descriptor, because the link
// may change in between.
bool OpenPort(TSerialLine& line, const std::string& port) {
    const std::string path = ResolvePortPath(port);
    struct stat info {};
    const bool throughLink =
        !path.empty() && ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    if (throughLink && !IsOwnPortLink(path)) {
        Trace("Port link refused: " + path);
        return false;
    }
    if (!line.Open(path))
        return false;
    // Asked again once the port is open, before anything is written: ResolvePortPath asked
    // about the folder's lock before the open, but a rig may have ended in between, leaving
    // links to terminals that others may have taken since; and a path into the folder given
    // whole was not asked at all.
    if (throughLink && (!IsOwnPseudoTerminal(line.Descriptor()) || !RigFolderAllows(path))) {
        Trace("Port link refused: " + path);
        line.Close();
        return false;
    }
    return true;
}

} // namespace

void TSerialResponse::Init() {
    SentMessage.clear();
    Response.clear();
    Status.clear();
    AsHex.clear();
    AsInt.clear();
    AsString.clear();
    rDouble = -1.0;
    ValueOfFirstWord = -1;
    ValueOfSecondWord = -1;
    ResponseLength = 0;
    AsFloat = -1.0f;
    AsInteger = -1;
}

TSerialPort::TSerialPort(void* /*aOwner*/) {}

bool TSerialPort::SetDCBState(int ComDevice) {
    return ComDevice >= 0 && ApplyLineSettings(ComDevice, fBaudRate, fParity, fStopBits);
}

// The read and write timeouts are kept by the exchange itself (it times every read and write
// with poll), so there is nothing to hand to the driver; what remains is to refuse a descriptor
// that is not an open terminal.
bool TSerialPort::SetTimeOuts(int ComDevice) {
    return ComDevice >= 0 && isatty(ComDevice) == 1;
}

// Terminal queues have a fixed size on Linux; the 4096 bytes asked for are well within it.
bool TSerialPort::SetBuffers(int ComDevice) {
    return ComDevice >= 0 && isatty(ComDevice) == 1;
}

TSerialResponse TSerialPort::Send2(std::wstring_view aMessage, bool WaitForResponse) {
    std::string bytes;
    bytes.reserve(aMessage.size());
    for (const wchar_t c : aMessage)
        bytes += (c >= 0 && c <= 0xFF) ? static_cast<char>(c) : '?';
    return Send2(bytes, WaitForResponse);
}

TSerialResponse TSerialPort::Send2(const std::string& aMessage, bool WaitForResponse) {
    const auto start = SteadyClock::now();
    TSerialResponse result;
    result.SentMessage = aMessage;
    TSerialLine line;
    const auto finish = [&](const std::string& status) {
        line.Close();
        result.Status = status;
        if (!status.empty())
            Trace(status);
        Trace("Duration:" + ElapsedText(start));
        return result;
    };

    Trace("PortName: " + fPort);
    if (!OpenPort(line, fPort) || !SetDCBState(line.Descriptor()))
        return finish(PortInUse);
    if (!SetTimeOuts(line.Descriptor()))
        return finish(TimeoutsRefused);
    if (!SetBuffers(line.Descriptor()))
        return finish(BuffersRefused);

    const auto* bytes = reinterpret_cast<const std::uint8_t*>(aMessage.data());
    if (!line.WriteAll(bytes, aMessage.size(), WriteTotalTimeout(aMessage.size())))
        return finish(WriteFailed);
    Trace("Bytes written: " + std::to_string(aMessage.size()));
    Trace("As string: " + Trim(aMessage));
    Trace("As ordinals: " + Ordinals(aMessage));

    if (!WaitForResponse)
        return finish("Exit read/write without waiting for reply");

    // Look first, sleep after every look (see the top of this file).
    TQueueWait wait = TQueueWait::Silent;
    TLookPacer pacer(fWindowsReadLoopTimeoutMS, fReadoutTimeoutMS);
    for (;;) {
        Trace("Waiting for data or timeout");
        wait = LookThenSleep(line, pacer);
        if (wait == TQueueWait::PortGone)
            break;
        if (pacer.DeadlinePassed()) {
            Trace("Timeout");
            break;
        }
        if (wait == TQueueWait::BytesSeen)
            break;
    }
    // A device that vanished while we waited is a failed read, reported at once rather than
    // after the full timeout.
    if (wait == TQueueWait::PortGone)
        return finish(ReadFailed);
    if (wait == TQueueWait::Silent)
        return finish("Timeout while waiting for response, exiting");

    std::uint8_t reply[ReplyLimit];
    const long count = line.ReadOnce(reply, ReplyLimit, InterByteGap, ReadTotalTimeout(ReplyLimit));
    if (count < 0)
        return finish(ReadFailed);
    result.Response = Trim(std::string(reinterpret_cast<const char*>(reply), count));
    Trace("Data read: " + result.Response);
    return finish("");
}

TSerialResponse TSerialPort::SendData(const void* Data, std::size_t dataSize,
                                      bool WaitForResponse) {
    TSerialResponse result;
    result.Status = "Unknown problem reading serial port";
    result.ResponseLength = 0;
    result.ValueOfFirstWord = -1;
    result.ValueOfSecondWord = -1;
    fDebugMSG.clear();
    TSerialLine line;
    const auto finish = [&](const std::string& status) {
        line.Close();
        result.Status = status;
        if (!status.empty())
            Trace(status);
        return result;
    };

    DebugStep(1);
    if (!OpenPort(line, fPort))
        return finish(PortInUse);
    DebugStep(2);
    if (!SetDCBState(line.Descriptor()))
        return finish(PortInUse);
    DebugStep(3);
    if (!SetTimeOuts(line.Descriptor()))
        return finish(TimeoutsRefused);
    DebugStep(4);
    if (!SetBuffers(line.Descriptor()))
        return finish(BuffersRefused);
    DebugStep(5);
    if (dataSize > 0 && Data == nullptr)
        return finish(WriteFailed);
    if (!line.WriteAll(static_cast<const std::uint8_t*>(Data), dataSize,
                       WriteTotalTimeout(dataSize)))
        return finish(WriteFailed);
    DebugStep(6);

    if (!WaitForResponse) {
        result.Response.clear();
        return finish("");
    }

    // Unlike Send2, one interval passes before the first look.
    std::this_thread::sleep_for(milliseconds(fWindowsReadLoopTimeoutMS));
    DebugStep(7);
    TQueueWait wait = TQueueWait::Silent;
    TLookPacer pacer(fWindowsReadLoopTimeoutMS, fReadoutTimeoutMS);
    while (wait == TQueueWait::Silent && !pacer.DeadlinePassed())
        wait = LookThenSleep(line, pacer);
    DebugStep(8);
    if (wait == TQueueWait::PortGone)
        return finish(ReadFailed);
    if (wait == TQueueWait::Silent)
        return finish("Timeout while waiting for response");

    const long count = line.ReadOnce(result.rArray.data(), RawReplyLimit, InterByteGap,
                                     ReadTotalTimeout(RawReplyLimit));
    if (count < 0)
        return finish(ReadFailed);
    DebugStep(9);
    result.Response.assign(reinterpret_cast<const char*>(result.rArray.data()), count);
    result.ResponseLength = static_cast<std::uint16_t>(count);
    // Bytes 4 and 5, and 6 and 7 (counted from 1): the first two registers of a register-read
    // reply, high byte first.
    if (count >= 5)
        result.ValueOfFirstWord = result.rArray[3] * 256 + result.rArray[4];
    if (count >= 7)
        result.ValueOfSecondWord = result.rArray[5] * 256 + result.rArray[6];
    return finish("");
}

void TSerialPort::DebugStep(int step) {
    if (!fDebug)
        return;
    const TDateTimeParts now = DecodeDateTime(GetClock().Now());
    char text[48];
    std::snprintf(text, sizeof text, "Time  %d: %02d:%02d:%02d.%03d\r\n", step, now.Hour,
                  now.Minute, now.Second, now.Millisecond);
    fDebugMSG += text;
}
