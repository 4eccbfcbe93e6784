#pragma once
// Cuts the received byte stream into command lines at carriage returns. Line feeds and every
// other byte stay in the line, so the journal can show exactly what arrived; the instruments
// themselves ignore surrounding control characters. A line longer than the instruments' input
// buffer is not handed on as a command: it comes out marked overlong, cut to the buffer size,
// once its carriage return arrives.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct TSimLine {
    std::string Bytes;      // without the carriage return (cut to the limit when overlong)
    std::size_t Length = 0; // bytes received for the line, carriage return not counted
    bool Overlong = false;
};

class TSimLineSplitter {
public:
    explicit TSimLineSplitter(std::size_t maxLine = 256) : maxLine_(maxLine) {}

    // Appends received bytes; returns the lines completed by them, in order.
    std::vector<TSimLine> Feed(std::string_view bytes);

private:
    std::size_t maxLine_;
    TSimLine current_;
};
