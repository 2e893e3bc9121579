#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include "platform/gdi/Clipboard.h"
#include "platform/gdi/Gdi.h"

namespace quillane {
namespace {

std::int32_t FilledBitmap(int width, int height, std::uint8_t value) {
    const std::int32_t screen = GetDC(0);
    const std::int32_t bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(0, screen);
    const BgrView view = *BitmapPixels(bitmap);
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < width * 3; ++i) view.Row(y)[i] = static_cast<std::uint8_t>(value + i);
    return bitmap;
}

bool Hand(std::int32_t bitmap) {
    if (!OpenClipboard(0)) return false;
    EmptyClipboard();
    const bool accepted = SetClipboardData(CF_BITMAP, bitmap) != 0;
    CloseClipboard();
    return accepted;
}

// Another holder keeps it closed to us; what it is handed is its own until replaced or emptied.
TEST(GdiClipboard, HoldersAndOwnership) {
    {
        ClipboardHolder other;
        ASSERT_TRUE(other.Holding());
        EXPECT_FALSE(OpenClipboard(0));
        EXPECT_FALSE(EmptyClipboard());
    }
    const std::int32_t bitmap = FilledBitmap(3, 2, 10);
    EXPECT_EQ(SetClipboardData(CF_BITMAP, bitmap), 0) << "not open";
    ASSERT_TRUE(OpenClipboard(0));
    EXPECT_EQ(SetClipboardData(8, bitmap), 0) << "only CF_BITMAP";
    CloseClipboard();
    ASSERT_TRUE(Hand(bitmap));
    EXPECT_EQ(ClipboardBitmap(), bitmap);
    EXPECT_FALSE(DeleteObject(bitmap)) << "belongs to the clipboard";
    const std::int32_t dc = CreateCompatibleDC(0);
    EXPECT_EQ(SelectObject(dc, bitmap), 0) << "nobody draws into it any more";
    DeleteDC(dc);
    // A second hand-over replaces and frees the first bitmap.
    const std::int32_t next = FilledBitmap(1, 1, 0);
    ASSERT_TRUE(Hand(next));
    EXPECT_FALSE(BitmapPixels(bitmap).has_value());
    ASSERT_TRUE(OpenClipboard(0));
    EXPECT_TRUE(EmptyClipboard());
    CloseClipboard();
    EXPECT_EQ(ClipboardBitmap(), 0);
    EXPECT_FALSE(BitmapPixels(next).has_value());
}

TEST(GdiClipboard, ReachesQtClipboardWhenAnApplicationRuns) {
    int argc = 1;
    char name[] = "gdi_tests";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    ASSERT_TRUE(Hand(FilledBitmap(4, 3, 20)));
    const QImage image = QGuiApplication::clipboard()->image();
    ASSERT_EQ(image.size(), QSize(4, 3));
    // Pixel 1 of each row was written blue 23, green 24, red 25.
    EXPECT_EQ(image.pixel(1, 2), qRgb(25, 24, 23));
    EXPECT_FALSE(Hand(0)) << "empties it, takes nothing";
}

}  // namespace
}  // namespace quillane
