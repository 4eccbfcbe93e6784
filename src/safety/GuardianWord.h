#pragma once
// What the console tells its guardian over their pipe, and how the guardian reads it back:
//   "record <bytes>\n" followed by the run record's text, each time the record changes
//   "clean\n" once every stop of the run was confirmed: the guardian may end
// The pipe, not the file, carries the record so that the guardian knows of every device the
// moment it may have output, even while the state folder is slow or full.
#include <optional>
#include <string>
#include <string_view>

std::string GuardianRecordWord(const std::string& recordText);
std::string GuardianCleanWord();

// Reads the words from the bytes as they arrive, in pieces of any size.
class TGuardianWordReader {
public:
    // Takes bytes read from the pipe. A word that cannot be read (a garbled length, a record
    // larger than any record) is skipped up to the next line end, and counted.
    void Feed(std::string_view bytes);

    // The last whole record received; none before the first.
    const std::optional<std::string>& Record() const { return record_; }
    bool CleanReceived() const { return clean_; }
    int Unreadable() const { return unreadable_; }

private:
    std::string pending_;
    std::size_t recordBytes_ = 0;
    bool inRecord_ = false;
    std::optional<std::string> record_;
    bool clean_ = false;
    int unreadable_ = 0;
};
