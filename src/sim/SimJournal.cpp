#include "sim/SimJournal.h"

#include "sim/SimText.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace {

std::string LocalTimeStamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(ms % 1000));
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
