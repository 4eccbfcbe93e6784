// The words on the guardian's pipe arrive in pieces of any size; the guardian keeps the last
// whole record and the clean word, and a garbled word costs nothing but itself.
#include "safety/GuardianWord.h"

#include <gtest/gtest.h>

TEST(GuardianWords, ReadInPiecesOfAnySizeTheLastWholeRecordAndTheCleanWordCount) {
    const std::string stream = GuardianRecordWord("first\nrecord\n") + "noise line\n" +
                               GuardianRecordWord("second") + GuardianRecordWord("") +
                               GuardianRecordWord("third, with\nlines\n") + GuardianCleanWord();
    for (const std::size_t piece :
         {std::size_t(1), std::size_t(3), std::size_t(7), stream.size()}) {
        TGuardianWordReader reader;
        std::vector<std::string> seen;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            reader.Feed(std::string_view(stream).substr(at, piece));
            if (reader.Record() && (seen.empty() || seen.back() != *reader.Record()))
                seen.push_back(*reader.Record());
        }
        // Byte by byte, every record is seen in turn; in bigger pieces, later ones replace it.
        if (piece == 1) {
            EXPECT_EQ(seen, (std::vector<std::string>{"first\nrecord\n", "second", "",
                                                      "third, with\nlines\n"}));
        }
        ASSERT_TRUE(reader.Record());
        EXPECT_EQ(*reader.Record(), "third, with\nlines\n") << "pieces of " << piece;
        EXPECT_TRUE(reader.CleanReceived());
        EXPECT_EQ(reader.Unreadable(), 1);
    }
}

TEST(GuardianWords, ARecordCutByTheConsolesDeathIsNotTaken) {
    TGuardianWordReader reader;
    reader.Feed(GuardianRecordWord("whole"));
    const std::string cut = GuardianRecordWord("never finished");
    reader.Feed(cut.substr(0, cut.size() - 3));
    ASSERT_TRUE(reader.Record());
    EXPECT_EQ(*reader.Record(), "whole");
    EXPECT_FALSE(reader.CleanReceived());
}

TEST(GuardianWords, AnAbsurdLengthOrAnEndlessLineIsSkipped) {
    TGuardianWordReader reader;
    reader.Feed("record 99999999999999999999\nrecord -1\n" + std::string(100, 'x'));
    reader.Feed(GuardianRecordWord("after"));
    EXPECT_EQ(reader.Unreadable(), 3);
    ASSERT_TRUE(reader.Record());
    EXPECT_EQ(*reader.Record(), "after");
}
