#include "platform/FileDialogs.h"
#include "platform/RecordingFileDialogs.h"

#include <gtest/gtest.h>

TEST(FileDialogs, WithoutDialogsEveryDialogIsCancelled) {
    TFileDialogRequest request;
    request.InitialFolder = "/nowhere";
    EXPECT_EQ(GetFileDialogs().OpenFileName(request), std::nullopt);
    EXPECT_EQ(GetFileDialogs().SaveFileName(request), std::nullopt);
}

TEST(FileDialogs, TheRecorderAnswersInOrderThenCancelsAndRestoresWhatWasInstalled) {
    FileDialogs* before = &GetFileDialogs();
    {
        ScopedRecordingFileDialogs dialogs;
        dialogs.recorder.Answer("/a/first.txt");
        dialogs.recorder.Answer(std::nullopt);
        TFileDialogRequest request;
        request.SuggestedName = "suggested.txt";
        EXPECT_EQ(GetFileDialogs().SaveFileName(request), "/a/first.txt");
        EXPECT_EQ(GetFileDialogs().OpenFileName(request), std::nullopt);
        EXPECT_EQ(GetFileDialogs().OpenFileName(request), std::nullopt);
        ASSERT_EQ(dialogs.recorder.Asked().size(), 3u);
        EXPECT_EQ(dialogs.recorder.Asked()[0].Kind, RecordingFileDialogs::TKind::Save);
        EXPECT_EQ(dialogs.recorder.Asked()[0].Request.SuggestedName, "suggested.txt");
        EXPECT_EQ(dialogs.recorder.Asked()[2].Kind, RecordingFileDialogs::TKind::Open);
    }
    EXPECT_EQ(&GetFileDialogs(), before);
}
