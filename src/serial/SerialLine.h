#pragma once
// The POSIX side of one serial exchange: an open, exclusively locked port and the few
// operations the exchange needs, each bounded by its own deadline so that a device that stops
// answering or vanishes gives an error, never a hang. The descriptor is closed on destruction.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

class TSerialLine {
public:
    TSerialLine() = default;
    ~TSerialLine();
    TSerialLine(const TSerialLine&) = delete;
    TSerialLine& operator=(const TSerialLine&) = delete;

    // Opens path read-write, non-blocking, never as controlling terminal, and takes an
    // exclusive lock on it. False when the port is absent or someone (this process included)
    // holds it. Input and output queues start empty.
    bool Open(const std::string& path);
    void Close();
    int Descriptor() const { return fd_; }

    // Bytes waiting in the receive queue; -1 when the device no longer answers (a vanished
    // USB adapter, a pseudo-terminal whose other side closed).
    int QueuedInput() const;

    // Writes every byte, or gives up when the device refuses or the time is up.
    bool WriteAll(const std::uint8_t* data, std::size_t size, std::chrono::milliseconds total);

    // One read of at most capacity bytes: ends when capacity is reached, when gap passes
    // without a byte after the first one, or when total has passed since the start. Returns the
    // count read (0 when nothing came in time), or -1 when the device failed before any byte.
    long ReadOnce(std::uint8_t* buffer, std::size_t capacity, std::chrono::milliseconds gap,
                  std::chrono::milliseconds total);

private:
    int fd_ = -1;
};

// Raw 8-bit mode with the given line settings, DTR and RTS raised. Parity codes: 0 none, 1 odd,
// 2 even, 3 mark, 4 space; stop-bit codes: 0 one, 2 two (1, one and a half, exists only for
// 5-bit characters and is refused). False for an unknown baud rate or code, or when the driver
// refuses the settings.
bool ApplyLineSettings(int fd, int baudRate, int parity, int stopBits);
