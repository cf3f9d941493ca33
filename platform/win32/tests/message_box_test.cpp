#include "platform/win32/message_box.h"

#include <gtest/gtest.h>

namespace {

TEST(MessageBox, DefaultPresenterWritesToStderr) {
    testing::internal::CaptureStderr();
    const int answer = MessageBox(nullptr, "Disk full", "Orvane", MB_YESNO);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Orvane] Disk full\n");
    EXPECT_EQ(answer, IDYES);
}

TEST(MessageBox, RecorderRecordsAndAnswersFromItsScript) {
    MessageBoxRecorder recorder;
    recorder.ScriptAnswer(IDNO);
    int owner_stub = 0;
    EXPECT_EQ(MessageBox(&owner_stub, "删除好友？", "确认", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(MessageBox(nullptr, "Saved", "Orvane", MB_OKCANCEL), IDOK);  // script used up

    const std::vector<MessageBoxRequest> boxes = recorder.Boxes();
    ASSERT_EQ(recorder.Count(), 2u);
    EXPECT_EQ(boxes[0].owner, &owner_stub);
    EXPECT_EQ(boxes[0].text, "删除好友？");
    EXPECT_EQ(boxes[0].caption, "确认");
    EXPECT_EQ(boxes[0].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(boxes[1].type, MB_OKCANCEL);
}

TEST(MessageBox, RecordersNestAndRestoreThePreviousPresenter) {
    int outer_calls = 0;
    MessageBoxPresenter before = SetMessageBoxPresenter([&](const MessageBoxRequest&) {
        ++outer_calls;
        return IDCANCEL;
    });
    {
        MessageBoxRecorder recorder;
        {
            MessageBoxRecorder inner;
            MessageBox(nullptr, "inner", "", MB_OK);
            EXPECT_EQ(inner.Count(), 1u);
        }
        MessageBox(nullptr, "outer", "", MB_OK);
        EXPECT_EQ(recorder.Count(), 1u);
    }
    EXPECT_EQ(MessageBox(nullptr, "custom", "", MB_OK), IDCANCEL);
    EXPECT_EQ(outer_calls, 1);
    SetMessageBoxPresenter(before);
}

TEST(MessageBox, PresenterMayShowAnotherBox) {
    // A presenter that itself calls MessageBox must not deadlock on the presenter slot.
    MessageBoxRecorder recorder;
    MessageBoxPresenter recording = SetMessageBoxPresenter(nullptr);
    SetMessageBoxPresenter([&](const MessageBoxRequest& request) {
        if (request.text == "first") {
            SetMessageBoxPresenter(recording);
            MessageBox(nullptr, "second", "", MB_OK);
        }
        return IDOK;
    });
    MessageBox(nullptr, "first", "", MB_OK);
    ASSERT_EQ(recorder.Count(), 1u);
    EXPECT_EQ(recorder.Boxes()[0].text, "second");
}

}  // namespace
