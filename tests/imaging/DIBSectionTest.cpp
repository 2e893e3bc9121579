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

TEST(DIBSection, CreateClearUpAndRecreate) {
    cDIBSection picture;
    ASSERT_TRUE(picture.Create(176, 220));
    EXPECT_EQ(picture.Width(), 176);
    EXPECT_EQ(picture.height(), 220);
    EXPECT_EQ(picture.BytesPerScanLine(), 528);
    EXPECT_NE(picture.hdc(), 0);
    EXPECT_NE(picture.hDib(), 0);
    ASSERT_NE(picture.DIBSectionBitsPtr(), nullptr);
    EXPECT_EQ(DIBSectionBytes(picture.DIBSectionBitsPtr()), 116160u);  // biSizeImage
    EXPECT_EQ(SelectedBitmap(picture.hdc()), picture.hDib());

    const std::int32_t oldDib = picture.hDib(), oldDc = picture.hdc();
    ASSERT_TRUE(picture.Create(3, 2));
    EXPECT_FALSE(BitmapPixels(oldDib).has_value()) << "the old section was freed";
    EXPECT_FALSE(DeleteDC(oldDc)) << "the old DC was freed";

    const std::int32_t dib = picture.hDib();
    for (int round = 0; round < 2; ++round) {
        picture.ClearUp();
        EXPECT_EQ(picture.hdc(), 0);
        EXPECT_EQ(picture.hDib(), 0);
        EXPECT_EQ(picture.DIBSectionBitsPtr(), nullptr);
        EXPECT_EQ(picture.Width(), 3);
        EXPECT_EQ(picture.height(), 2);
    }
    EXPECT_FALSE(BitmapPixels(dib).has_value());
}

TEST(DIBSection, DestructionFreesDcAndSection) {
    std::int32_t dib = 0, dc = 0;
    {
        cDIBSection picture;
        ASSERT_TRUE(picture.Create(4, 4));
        dib = picture.hDib();
        dc = picture.hdc();
    }
    EXPECT_FALSE(BitmapPixels(dib).has_value());
    EXPECT_FALSE(DeleteDC(dc));
}

TEST(DIBSection, CreateFromPictureStoresTheBottomLineFirst) {
    auto source = BitmapPicture::Create(640, 480);
    ASSERT_NE(source, nullptr);
    const BgrView view = *BitmapPixels(source->Handle());
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            std::uint8_t* pixel = view.Row(y) + 3 * x;
            pixel[0] = static_cast<std::uint8_t>(x);
            pixel[1] = static_cast<std::uint8_t>(y);
            pixel[2] = static_cast<std::uint8_t>(y >> 8);
        }
    cDIBSection picture;
    picture.CreateFromPicture(*source);
    ASSERT_NE(picture.hdc(), 0);
    ASSERT_EQ(picture.Width(), 640);
    ASSERT_EQ(picture.height(), 480);
    for (int line : {0, 1, 240, 479}) {
        const int pictureLine = 479 - line;
        for (int x : {0, 1, 639}) {
            const std::uint8_t* pixel = ScanLine(picture, line) + 3 * x;
            EXPECT_EQ(pixel[0], static_cast<std::uint8_t>(x));
            EXPECT_EQ(pixel[1], static_cast<std::uint8_t>(pictureLine)) << "scan line " << line;
            EXPECT_EQ(pixel[2], pictureLine >> 8);
        }
    }
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
