#pragma once
// The rig's record of every command line an instrument received: one line per command, "time
// port command", the time as local "YYYY-MM-DDThh:mm:ss.zzz" and the command escaped (SimEscape)
// with its carriage return, so the journal shows byte for byte what the console sent. Appends
// from every port thread; each line is written and flushed whole.
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

class TSimJournal {
public:
    TSimJournal() = default;
    ~TSimJournal();
    TSimJournal(const TSimJournal&) = delete;
    TSimJournal& operator=(const TSimJournal&) = delete;

    // Opens the file for appending; false with a reason on failure.
    bool Open(const std::string& path, std::string& error);
    // One received line, exactly as it arrived (terminator included).
    void Append(std::string_view port, std::string_view received);
    // A line that overflowed the instrument's input buffer: its start and its full length.
    void AppendOverlong(std::string_view port, std::string_view start, std::size_t length);

private:
    void Write(const std::string& line);

    std::mutex mutex_;
    std::FILE* file_ = nullptr;
};
