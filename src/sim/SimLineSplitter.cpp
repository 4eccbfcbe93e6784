#include "sim/SimLineSplitter.h"

std::vector<TSimLine> TSimLineSplitter::Feed(std::string_view bytes) {
    std::vector<TSimLine> lines;
    for (const char c : bytes) {
        if (c == '\r') {
            lines.push_back(std::move(current_));
            current_ = TSimLine{};
            continue;
        }
        ++current_.Length;
        if (current_.Bytes.size() < maxLine_) {
            current_.Bytes += c;
        } else {
            current_.Overlong = true;
        }
    }
    return lines;
}
