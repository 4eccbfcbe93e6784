#include "sim/SimJournal.h"

#include "platform/Clock.h"

#include "sim/SimText.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace {

std::string LocalTimeStamp() {
    const TDateTimeParts t = DecodeDateTime(SystemClock().Now());
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.Year, t.Month,
                  t.Day, t.Hour, t.Minute, t.Second, t.Millisecond);
    return buffer;
}

} // namespace

TSimJournal::~TSimJournal() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool TSimJournal::Open(const std::string& path, std::string& error) {
    std::lock_guard lock(mutex_);
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) {
        error = "cannot open journal " + path + ": " + std::strerror(errno);
        return false;
    }
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    file_ = file;
    return true;
}

void TSimJournal::Append(std::string_view port, std::string_view received) {
    Write(LocalTimeStamp() + " " + std::string(port) + " " + SimEscape(received) + "\n");
}

void TSimJournal::AppendOverlong(std::string_view port, std::string_view start,
                                 std::size_t length) {
    Write(LocalTimeStamp() + " " + std::string(port) + " " + SimEscape(start) +
          "... (overlong line of " + std::to_string(length) + " bytes, ignored)\n");
}

void TSimJournal::Write(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (file_ == nullptr) {
        return;
    }
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}
