#include <gtest/gtest.h>

#include "PictureHelpers.h"
#include "platform/gdi/Clipboard.h"
#include "support/FolderFixtures.h"

namespace quillane {
namespace {

using namespace testing_helpers;

TEST(CopyToClipboard, PutsTheWholePictureThereAndRefusesADeviceIndependentCopy) {
    testing::MessageRecorder messages;
    cDIBSection picture;
    ASSERT_TRUE(picture.Create(5, 3));
    FillPattern(picture, 9);
    ASSERT_TRUE(picture.CopyToClipboard(false));
    const std::int32_t copied = ClipboardBitmap();
    const std::optional<BgrView> held = BitmapPixels(copied);
    ASSERT_TRUE(held.has_value());
    ASSERT_EQ(held->Width, 5);
    ASSERT_EQ(held->Height, 3);
    for (int y = 0; y < 3; ++y)  // the clipboard's top line is the picture's last scan line
        for (int i = 0; i < 15; ++i)
            EXPECT_EQ(held->Row(y)[i], ScanLine(picture, 2 - y)[i]) << y << "," << i;
    EXPECT_TRUE(messages.Messages.empty());

    EXPECT_FALSE(picture.CopyToClipboard(true));
    ASSERT_EQ(messages.Messages.size(), 1u);
    EXPECT_EQ(messages.Messages[0].Prompt,
              "I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!");
    EXPECT_EQ(messages.Messages[0].Style, vbOKOnly);
    EXPECT_EQ(messages.Messages[0].Title, "Quillane");
    EXPECT_EQ(ClipboardBitmap(), copied);

    // A picture whose memory was freed puts nothing there, and says nothing.
    cDIBSection emptied;
    ASSERT_TRUE(emptied.Create(4, 4));
    emptied.ClearUp();
    EXPECT_FALSE(emptied.CopyToClipboard(false));
    EXPECT_EQ(ClipboardBitmap(), copied);
    EXPECT_EQ(messages.Messages.size(), 1u);
}

TEST(CopyToClipboard, FailsQuietlyWhileAnotherProgramHoldsTheClipboard) {
    testing::MessageRecorder messages;
    cDIBSection picture;
    ASSERT_TRUE(picture.Create(2, 2));
    ASSERT_TRUE(picture.CopyToClipboard(false));
    const std::int32_t before = ClipboardBitmap();
    {
        ClipboardHolder other;
        ASSERT_TRUE(other.Holding());
        EXPECT_FALSE(picture.CopyToClipboard(false));
    }
    EXPECT_EQ(ClipboardBitmap(), before);
    EXPECT_TRUE(messages.Messages.empty());
}

}  // namespace
}  // namespace quillane
