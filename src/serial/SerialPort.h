#pragma once
// One command/response exchange on a named serial port. Every exchange opens the port
// exclusively, configures it, writes, optionally waits for and reads the reply, and closes the
// port again: no port stays open between exchanges, so whoever holds a port holds it only for
// the length of one exchange.
//
// Thread contract: a TSerialPort is used by one thread at a time; an exchange blocks that thread
// for its whole length (about 0.67 s with a reply, 1.33 s without, with the defaults). Two
// exchanges on the same port at the same moment, from this process or another, cannot both
// succeed: the second gets "Failed to setup Com port, port in use".
//
// The exchange paces itself by the real monotonic clock, not by the core's Clock: it talks to a
// real peer (an instrument, or a simulator on a pseudo-terminal) that needs real time to answer.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The result of one exchange. An empty Status means the exchange went through.
struct TSerialResponse {
    std::string SentMessage;
    std::string Response;
    double rDouble = 0;
    std::array<std::uint8_t, 256> rArray{};
    std::array<std::uint16_t, 16> WordArray{};
    int ValueOfFirstWord = 0;
    int ValueOfSecondWord = 0;
    std::string Status;
    // Wide enough for a full 256-byte raw reply (an 8-bit count would wrap to 0).
    std::uint16_t ResponseLength = 0;
    std::string AsHex;
    std::string AsInt;
    float AsFloat = 0;
    int AsInteger = 0;
    std::string AsString;

    // Empties the texts and sets the numbers to "no value" (-1, ResponseLength 0); rArray and
    // WordArray keep their contents.
    void Init();
};

class TSerialPort {
public:
    // The owner is accepted for symmetry with the other components and not used; nothing is
    // opened here.
    explicit TSerialPort(void* aOwner = nullptr);

    bool fDebug = false;
    std::string fDebugMSG;
    // Port name as the port list gives it (ttyUSB0, COM3 for a rig link) or an absolute path.
    std::string fPort;
    std::uint32_t fWindowsReadLoopTimeoutMS = 333;
    std::uint32_t fReadoutTimeoutMS = 1000;
    int fBaudRate = 9600;
    // 0 one, 1 one and a half (refused: no 8-bit line has it), 2 two.
    int fStopBits = 0;
    // 0 none, 1 odd, 2 even, 3 mark, 4 space.
    int fParity = 0;

    // Sends exactly the bytes of aMessage (the caller adds the terminator) and, when asked,
    // returns the reply trimmed of control characters and spaces at both ends.
    TSerialResponse Send2(const std::string& aMessage, bool WaitForResponse);
    // The same for wide text: each character becomes one Latin-1 byte, '?' where it has none.
    TSerialResponse Send2(std::wstring_view aMessage, bool WaitForResponse);
    // Raw bytes out, raw bytes back (up to 256, untrimmed), with the first two 16-bit registers
    // of a register-read reply decoded (-1 where the reply is too short to hold them).
    TSerialResponse SendData(const void* Data, std::size_t dataSize, bool WaitForResponse);

    // The configuration steps, given the descriptor of the open port; false for an invalid
    // descriptor or when the system refuses the setting.
    bool SetDCBState(int ComDevice);
    bool SetTimeOuts(int ComDevice);
    bool SetBuffers(int ComDevice);

private:
    void DebugStep(int step);
};
