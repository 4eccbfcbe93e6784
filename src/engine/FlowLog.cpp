#include "engine/FlowLog.h"

#include "platform/Clock.h"
#include "platform/OperatorMessages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string TwoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string FlowLogFileName(const std::string& folder, double dateTime, const std::string& suffix) {
    const TDateTimeParts t = DecodeDateTime(dateTime);
    std::string name = std::to_string(t.Year) + "-" + TwoDigits(t.Month) + "-" + TwoDigits(t.Day) +
                       " " + TwoDigits(t.Hour) + "_" + TwoDigits(t.Minute) + " log " + suffix +
                       ".txt";
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool WriteFlowLogFile(const std::string& path, const std::vector<std::string>& lines,
                      std::string& error) {
    std::string text;
    std::size_t size = 0;
    for (const std::string& line : lines)
        size += line.size() + 2;
    text.reserve(size);
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }

    const std::string temporary = path + ".partial";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "Cannot create file " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        error = "Cannot write file " + path + ": " + std::strerror(written ? errno : writeErrno);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "Cannot write file " + path + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool TFlowLogSaver::Save(const std::vector<std::string>& lines, bool hasContent, bool force,
                         const std::string& suffix, double now, std::string& error) {
    if (!force && (!hasContent || now <= lastSave_ + 1.0 / 1440.0))
        return true;
    if (!WriteFlowLogFile(FlowLogFileName(folder_, now, suffix), lines, error))
        return false;
    lastSave_ = now;
    return true;
}

bool TFlowLogReporter::Save(const std::vector<std::string>& lines, bool hasContent, bool force,
                            const std::string& suffix, double now,
                            const std::function<void(const std::string&)>& log) {
    std::string error;
    if (saver_.Save(lines, hasContent, force, suffix, now, error)) {
        failing_ = false;
        return true;
    }
    if (!failing_) {
        failing_ = true;
        const std::string text = "Flow log not saved: " + error;
        log(text);
        ShowOperatorMessage(text);
    }
    return false;
}
