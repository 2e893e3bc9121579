#include <gtest/gtest.h>

#include <climits>

#include "PictureHelpers.h"
#include "platform/gdi/BitmapPicture.h"
#include "platform/gdi/Gdi.h"
#include "support/FolderFixtures.h"

namespace quillane {
namespace {

using namespace testing_helpers;

// Each Create follows a successful one: a failed or raising Create leaves no memory behind and
// keeps the size asked for; scan lines are padded to four bytes.
TEST(DIBSection, CreateSizesPaddingAndFailures) {
    struct Case {
        int width, height;
        int error;             // run-time error raised, 0 for none
        bool created;          // Create's answer when nothing is raised
        int bytesPerScanLine;  // -1: not checked
    };
    const Case cases[] = {
        {1, 3, 0, true, 4},           {175, 3, 0, true, 528},
        {176, 3, 0, true, 528},       {220, 3, 0, true, 660},
        {0, 3, 0, false, 0},          {0, 220, 0, false, 0},
        {5, 0, 0, false, -1},         {5, -3, 0, false, -1},
        {-2, 4, 0, false, -1},        {INT_MAX / 3 + 1, 1, 6, false, -1},
        {30000, 30000, 6, false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
        cDIBSection picture;
        ASSERT_TRUE(picture.Create(7, 7));
        bool created = false;
        EXPECT_EQ(testing::ErrorOf([&] { created = picture.Create(c.width, c.height); }), c.error);
        EXPECT_EQ(created, c.created);
        if (c.bytesPerScanLine >= 0) {
            EXPECT_EQ(picture.BytesPerScanLine(), c.bytesPerScanLine);
        }
        EXPECT_EQ(picture.hDib() != 0, c.created);
        EXPECT_EQ(picture.DIBSectionBitsPtr() != nullptr, c.created);
        if (c.error == 0) {
            EXPECT_EQ(picture.hdc() != 0, c.created);
            EXPECT_EQ(picture.Width(), c.width);
            EXPECT_EQ(picture.height(), c.height);
        }
        picture.ClearUp();
        EXPECT_EQ(picture.hdc(), 0);
    }
}

// Re-creating, clearing up and destroying each free the memory DC and the DIB section held.
TEST(DIBSection, RecreateClearUpAndDestructionFreeWhatWasHeld) {
    std::int32_t dib = 0, dc = 0;
    {
        cDIBSection picture;
        ASSERT_TRUE(picture.Create(176, 220));
        EXPECT_EQ(DIBSectionBytes(picture.DIBSectionBitsPtr()), 116160u);  // biSizeImage
        EXPECT_EQ(SelectedBitmap(picture.hdc()), picture.hDib());
        dib = picture.hDib(), dc = picture.hdc();
        ASSERT_TRUE(picture.Create(3, 2));
        EXPECT_FALSE(BitmapPixels(dib).has_value()) << "the old section was freed";
        EXPECT_FALSE(DeleteDC(dc)) << "the old DC was freed";

        dib = picture.hDib();
        for (int round = 0; round < 2; ++round) {
            picture.ClearUp();
            EXPECT_EQ(picture.hdc(), 0);
            EXPECT_EQ(picture.hDib(), 0);
            EXPECT_EQ(picture.DIBSectionBitsPtr(), nullptr);
            EXPECT_EQ(picture.Width(), 3);
            EXPECT_EQ(picture.height(), 2);
        }
        EXPECT_FALSE(BitmapPixels(dib).has_value());
        ASSERT_TRUE(picture.Create(4, 4));
        dib = picture.hDib(), dc = picture.hdc();
    }
    EXPECT_FALSE(BitmapPixels(dib).has_value()) << "freed on destruction";
    EXPECT_FALSE(DeleteDC(dc));
}

TEST(DIBSection, CreateFromPictureStoresTheBottomLineFirst) {
    auto source = BitmapPicture::Create(7, 5);  // rows of 21 bytes, padded to 24 in the copy
    ASSERT_NE(source, nullptr);
    const BgrView view = *BitmapPixels(source->Handle());
    for (int y = 0; y < 5; ++y)
        for (int i = 0; i < 21; ++i) view.Row(y)[i] = static_cast<std::uint8_t>(40 * y + i);
    cDIBSection picture;
    picture.CreateFromPicture(*source);
    ASSERT_NE(picture.hdc(), 0);
    ASSERT_EQ(picture.Width(), 7);
    ASSERT_EQ(picture.height(), 5);
    for (int line = 0; line < 5; ++line)
        for (int i = 0; i < 21; ++i)
            EXPECT_EQ(ScanLine(picture, line)[i], 40 * (4 - line) + i) << line << "," << i;
}

TEST(DIBSection, CreateFromPictureThatCannotBeCopiedLeavesTheObjectEmpty) {
    auto source = BitmapPicture::Create(8, 8);
    const std::int32_t holder = CreateCompatibleDC(0);
    const std::int32_t stock = SelectObject(holder, source->Handle());
    cDIBSection picture;
    picture.CreateFromPicture(*source);  // its bitmap is busy in another context
    EXPECT_EQ(picture.hdc(), 0);
    EXPECT_EQ(picture.hDib(), 0);
    SelectObject(holder, stock);
    DeleteDC(holder);

    struct Stale : StdPicture {
        std::int32_t Handle() override { return 42; }
        int PixelWidth() const override { return 0; }
        int PixelHeight() const override { return 0; }
    } stale;
    picture.CreateFromPicture(stale);
    EXPECT_EQ(picture.hdc(), 0);
}

TEST(DIBSection, LoadPictureBltCopiesTheAskedWidth) {
    struct Case {
        int width;
        int copiedColumns;
    };
    for (const Case c : {Case{0, 0}, Case{-1, 5}, Case{2, 2}, Case{9, 5}}) {
        cDIBSection source, target;
        ASSERT_TRUE(source.Create(5, 3));
        ASSERT_TRUE(target.Create(5, 3));
        FillPattern(source, 1);
        target.LoadPictureBlt(source.hdc(), 0, 0, c.width, -1);
        for (int line = 0; line < 3; ++line)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(ScanLine(target, line)[3 * x],
                          x < c.copiedColumns ? ScanLine(source, line)[3 * x] : 0)
                    << "width " << c.width << " pixel " << x << " line " << line;
    }
}

}  // namespace
}  // namespace quillane
