#include "serial/SerialLine.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using SteadyClock = std::chrono::steady_clock;

bool SpeedOf(int baudRate, speed_t& speed) {
    static const struct {
        int baud;
        speed_t speed;
    } speeds[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000}};
    for (const auto& entry : speeds) {
        if (entry.baud == baudRate) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

bool ParityFlags(int parity, tcflag_t& flags) {
    switch (parity) {
    case 0:
        flags = 0;
        return true;
    case 1:
        flags = PARENB | PARODD;
        return true;
    case 2:
        flags = PARENB;
        return true;
    case 3:
        flags = PARENB | PARODD | CMSPAR;
        return true;
    case 4:
        flags = PARENB | CMSPAR;
        return true;
    default:
        return false;
    }
}

bool StopBitFlags(int stopBits, tcflag_t& flags) {
    switch (stopBits) {
    case 0:
        flags = 0;
        return true;
    case 2:
        flags = CSTOPB;
        return true;
    default:
        return false;
    }
}

int MillisecondsUntil(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    return static_cast<int>(std::max<long long>(0, left));
}

} // namespace

TSerialLine::~TSerialLine() {
    Close();
}

bool TSerialLine::Open(const std::string& path) {
    Close();
    if (path.empty())
        return false;
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return false;
    // The lock belongs to this open file description, so a second open in this same process
    // conflicts as surely as one in another process. Closing releases it.
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        Close();
        return false;
    }
    // Nothing from before this exchange may pass for its reply: a freshly opened port starts
    // with empty queues. Refusal is harmless (not every file is a terminal; the line settings
    // that follow reject those).
    tcflush(fd_, TCIOFLUSH);
    return true;
}

void TSerialLine::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int TSerialLine::QueuedInput() const {
    int queued = 0;
    if (fd_ < 0 || ioctl(fd_, TIOCINQ, &queued) != 0)
        return -1;
    if (queued == 0) {
        // A hung-up terminal may still answer the queue question; poll tells it is gone.
        pollfd probe{fd_, POLLIN, 0};
        if (poll(&probe, 1, 0) > 0 && (probe.revents & (POLLHUP | POLLERR | POLLNVAL)))
            return -1;
    }
    return queued;
}

bool TSerialLine::WriteAll(const std::uint8_t* data, std::size_t size,
                           std::chrono::milliseconds total) {
    const auto deadline = SteadyClock::now() + total;
    std::size_t written = 0;
    while (written < size) {
        const ssize_t count = ::write(fd_, data + written, size - written);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN)
            return false;
        pollfd out{fd_, POLLOUT, 0};
        const int ready = poll(&out, 1, MillisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (out.revents & (POLLHUP | POLLERR | POLLNVAL)))
            return false;
    }
    return true;
}

long TSerialLine::ReadOnce(std::uint8_t* buffer, std::size_t capacity,
                           std::chrono::milliseconds gap, std::chrono::milliseconds total) {
    const auto deadline = SteadyClock::now() + total;
    std::size_t count = 0;
    bool failed = false;
    while (count < capacity) {
        int wait = MillisecondsUntil(deadline);
        if (wait == 0)
            break;
        if (count > 0)
            wait = std::min(wait, static_cast<int>(gap.count()));
        pollfd in{fd_, POLLIN, 0};
        const int ready = poll(&in, 1, wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            break;
        if (ready > 0 && (in.revents & POLLIN)) {
            const ssize_t got = ::read(fd_, buffer + count, capacity - count);
            if (got > 0) {
                count += static_cast<std::size_t>(got);
                continue;
            }
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
        }
        // An error, a hang-up or an end of file: the device is gone.
        failed = true;
        break;
    }
    if (count == 0 && failed)
        return -1;
    return static_cast<long>(count);
}

bool ApplyLineSettings(int fd, int baudRate, int parity, int stopBits) {
    speed_t speed{};
    tcflag_t parityFlags = 0;
    tcflag_t stopFlags = 0;
    if (fd < 0 || !SpeedOf(baudRate, speed) || !ParityFlags(parity, parityFlags) ||
        !StopBitFlags(stopBits, stopFlags))
        return false;

    // Built from nothing rather than from the port's current settings, so that whatever a
    // previous user left on the line cannot leak into this exchange. Raw mode: no echo, no
    // line editing, no character translation, no software or hardware flow control; parity is
    // generated but not checked (no INPCK).
    termios settings{};
    cfmakeraw(&settings);
    settings.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF | IXANY);
    settings.c_cflag = CS8 | CREAD | CLOCAL | parityFlags | stopFlags;
    settings.c_cc[VSTART] = 0x11;
    settings.c_cc[VSTOP] = 0x13;
    // Reads never block in the driver; the exchange times them with poll.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0)
        return false;
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        return false;

    // Instruments powered from the handshake lines need DTR and RTS up. Pseudo-terminals have
    // no modem lines and refuse the request; that is no reason to fail the exchange.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);
    return true;
}
