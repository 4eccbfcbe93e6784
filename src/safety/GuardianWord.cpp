#include "safety/GuardianWord.h"

#include "safety/RunRecord.h"

#include <charconv>

std::string GuardianRecordWord(const std::string& recordText) {
    return "record " + std::to_string(recordText.size()) + "\n" + recordText;
}

std::string GuardianCleanWord() {
    return "clean\n";
}

void TGuardianWordReader::Feed(std::string_view bytes) {
    pending_.append(bytes);
    for (;;) {
        if (inRecord_) {
            if (pending_.size() < recordBytes_)
                return;
            record_ = pending_.substr(0, recordBytes_);
            pending_.erase(0, recordBytes_);
            inRecord_ = false;
            continue;
        }
        const std::size_t end = pending_.find('\n');
        if (end == std::string::npos) {
            // No word's first line is this long: what came is not a word.
            if (pending_.size() > 64) {
                pending_.clear();
                ++unreadable_;
            }
            return;
        }
        const std::string_view line(pending_.data(), end);
        bool read = false;
        if (line == "clean") {
            clean_ = true;
            read = true;
        } else if (line.starts_with("record ")) {
            const std::string_view digits = line.substr(7);
            std::size_t size = 0;
            const auto [at, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), size);
            if (error == std::errc() && at == digits.data() + digits.size() && !digits.empty() &&
                size <= MaxRunRecordBytes) {
                inRecord_ = true;
                recordBytes_ = size;
                read = true;
            }
        }
        if (!read)
            ++unreadable_;
        pending_.erase(0, end + 1);
    }
}
