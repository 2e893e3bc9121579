// The picture memory: its making and freeing, the copies in and out, the resampler and the noise.
// Scan line 0 is the bottom line of the picture.

#include <gtest/gtest.h>

#include <array>
#include <climits>

#include "imaging/cDIBSection.h"
#include "platform/gdi/BitmapPicture.h"
#include "platform/gdi/Clipboard.h"
#include "support/FolderFixtures.h"

namespace quillane {
namespace {

using testing::ErrorOf;
using Lines = std::vector<std::vector<int>>;  // gray value per pixel, per scan line

std::uint8_t* ScanLine(const cDIBSection& picture, int line) {
    return picture.DIBSectionBitsPtr() + std::ptrdiff_t(line) * picture.BytesPerScanLine();
}
// Every byte of the picture memory, fill bytes included.
std::vector<std::uint8_t> AllBytes(const cDIBSection& picture) {
    const auto* bits = picture.DIBSectionBitsPtr();
    return bits ? std::vector<std::uint8_t>(
                      bits, bits + std::size_t(picture.BytesPerScanLine()) * picture.height())
                : std::vector<std::uint8_t>{};
}
// Every byte (fill bytes included) follows a pattern.
void FillPattern(cDIBSection& picture, int salt) {
    for (int i = 0; i < picture.BytesPerScanLine() * picture.height(); ++i)
        picture.DIBSectionBitsPtr()[i] = std::uint8_t(i * 31 + salt);
}
// Blue, green and red of each pixel from its value v: v, v + 10 and v + 20, so that channels
// mixed up show.
void Paint(cDIBSection& picture, const Lines& lines) {
    ASSERT_TRUE(picture.Create(int(lines[0].size()), int(lines.size())));
    for (std::size_t s = 0; s < lines.size(); ++s)
        for (std::size_t i = 0; i < 3 * lines[s].size(); ++i)
            ScanLine(picture, int(s))[i] = std::uint8_t(lines[s][i / 3] + i % 3 * 10);
}

// Each Create follows a successful one: a failed or raising Create leaves no memory behind and
// keeps the size asked for; scan lines are padded to four bytes.
TEST(DIBSection, CreateSizesPaddingAndFailures) {
    // width, height, error raised, bytes per scan line (0: not made, -1: not checked)
    const std::tuple<int, int, int, int> cases[] = {
        {1, 3, 0, 4},         {175, 3, 0, 528}, {176, 3, 0, 528}, {0, 3, 0, 0},
        {5, 0, 0, -1},        {5, -3, 0, -1},   {-2, 4, 0, -1},   {INT_MAX / 3 + 1, 1, 6, -1},
        {30000, 30000, 6, -1}};
    for (const auto& [width, height, error, bytesPerScanLine] : cases) {
        SCOPED_TRACE(::testing::Message() << width << "x" << height);
        cDIBSection picture;
        ASSERT_TRUE(picture.Create(7, 7));
        bool created = false;
        EXPECT_EQ(ErrorOf([&] { created = picture.Create(width, height); }), error);
        const bool made = bytesPerScanLine > 0;
        EXPECT_EQ(bytesPerScanLine < 0 ? -1 : picture.BytesPerScanLine(), bytesPerScanLine);
        const auto expected = std::tuple(made, made, made, made, width, height);
        EXPECT_EQ(error ? expected  // after a raise only the memory is checked
                        : std::tuple(created, picture.hdc() != 0, picture.hDib() != 0,
                                     picture.DIBSectionBitsPtr() != nullptr, picture.Width(),
                                     picture.height()),
                  expected);
        EXPECT_EQ(picture.DIBSectionBitsPtr() != nullptr, made);
    }
}

// Re-creating, clearing up and destroying each free the memory DC and the DIB section held; a
// section freed by the outside caller it was made for is never touched again.
TEST(DIBSection, RecreateClearUpAndDestructionFreeWhatWasHeld) {
    std::int32_t dib = 0, dc = 0;
    {
        cDIBSection picture;
        ASSERT_TRUE(picture.Create(176, 220));
        EXPECT_EQ(DIBSectionBytes(picture.DIBSectionBitsPtr()), 116160u);  // biSizeImage
        dib = picture.hDib(), dc = picture.hdc();
        ASSERT_TRUE(picture.Create(3, 2));
        EXPECT_EQ(std::pair(BitmapPixels(dib).has_value(), DeleteDC(dc)), std::pair(false, false))
            << "the old section and DC were freed";
        dib = picture.hDib();
        picture.ClearUp(), picture.ClearUp();
        EXPECT_EQ(std::tuple(picture.hdc(), picture.hDib(), picture.Width(), picture.height(),
                             picture.DIBSectionBitsPtr()),
                  std::tuple(0, 0, 3, 2, nullptr));
        EXPECT_FALSE(BitmapPixels(dib).has_value());
        ASSERT_TRUE(picture.Create(4, 4));
        dib = picture.hDib(), dc = picture.hdc();
    }
    EXPECT_EQ(std::pair(BitmapPixels(dib).has_value(), DeleteDC(dc)), std::pair(false, false))
        << "freed on destruction";

    cDIBSection outside, never;
    ASSERT_TRUE(outside.CreateDIB(0, 4, 4, dib));
    ASSERT_TRUE(DeleteObject(dib));
    EXPECT_EQ(ErrorOf([&] { (void)outside.Resample(2, 2); }), 9);
    EXPECT_EQ(ErrorOf([&] { outside.RandomiseBits(true); }), 9);
    EXPECT_EQ(ErrorOf([&] { never.RandomiseBits(true), never.RandomiseBits(false); }), 0);
}

// A picture's rows of 21 bytes land bottom line first, padded to 24, and go to the clipboard
// whole, top line first; a device-independent copy is refused with a message. One whose bitmap
// cannot be copied leaves the object empty, and an empty one puts nothing on the clipboard,
// silently. LoadPictureBlt copies the asked width (-1: all).
TEST(DIBSection, CopiesFromPicturesContextsAndToTheClipboard) {
    auto source = BitmapPicture::Create(7, 5);
    ASSERT_NE(source, nullptr);
    const BgrView view = *BitmapPixels(source->Handle());
    for (int y = 0; y < 5; ++y)
        for (int i = 0; i < 21; ++i) view.Row(y)[i] = std::uint8_t(40 * y + i);
    cDIBSection picture;
    picture.CreateFromPicture(*source);
    ASSERT_EQ(std::tuple(picture.hdc() != 0, picture.Width(), picture.height()),
              std::tuple(true, 7, 5));
    for (int line = 0; line < 5; ++line)
        for (int i = 0; i < 21; ++i) EXPECT_EQ(ScanLine(picture, line)[i], 40 * (4 - line) + i);
    testing::MessageRecorder messages;
    ASSERT_TRUE(picture.CopyToClipboard(false));
    const std::int32_t onClipboard = ClipboardBitmap();
    const std::optional<BgrView> held = BitmapPixels(onClipboard);
    ASSERT_TRUE(held && held->Width == 7 && held->Height == 5);
    for (int y = 0; y < 5; ++y)
        for (int i = 0; i < 21; ++i) EXPECT_EQ(held->Row(y)[i], view.Row(y)[i]);
    EXPECT_FALSE(picture.CopyToClipboard(true));
    ASSERT_EQ(messages.Messages.size(), 1u);
    EXPECT_EQ(messages.Messages[0].Style, vbOKOnly);

    const std::int32_t holder = CreateCompatibleDC(0);
    const std::int32_t stock = SelectObject(holder, source->Handle());
    picture.CreateFromPicture(*source);  // its bitmap is busy in another context
    EXPECT_EQ(std::pair(picture.hdc(), picture.hDib()), std::pair(0, 0));
    SelectObject(holder, stock);
    DeleteDC(holder);
    EXPECT_FALSE(picture.CopyToClipboard(false));
    EXPECT_EQ(std::pair(ClipboardBitmap(), messages.Messages.size()), std::pair(onClipboard, 1ul));

    for (const auto& [width, copied] : {std::pair{0, 0}, {-1, 5}, {2, 2}, {9, 5}}) {
        cDIBSection from, to;
        ASSERT_TRUE(from.Create(5, 3) && to.Create(5, 3));
        FillPattern(from, 1);
        to.LoadPictureBlt(from.hdc(), 0, 0, width, -1);
        for (int line = 0; line < 3; ++line)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(ScanLine(to, line)[3 * x], x < copied ? ScanLine(from, line)[3 * x] : 0)
                    << "width " << width << " pixel " << x << " line " << line;
    }
}

// Gray noise has equal channels, colour noise no blue; fill bytes keep their values. Values span
// the byte with half-weight ends.
TEST(DIBSection, RandomiseBits) {
    for (const bool gray : {true, false}) {
        cDIBSection picture;
        ASSERT_TRUE(picture.Create(1001, 1000));  // one fill byte at the end of each scan line
        FillPattern(picture, 11);
        const auto before = AllBytes(picture);
        picture.RandomiseBits(gray);
        const auto after = AllBytes(picture);
        std::array<int, 256> counts{};  // of the green values
        int wrong = 0;
        for (std::size_t i = 0; i < after.size(); ++i) {
            const std::size_t x = i % std::size_t(picture.BytesPerScanLine());
            if (x == 3003)
                wrong += after[i] != before[i];
            else if (x % 3 == 1)
                ++counts[after[i]];
            else if (x % 3 == 0)
                wrong +=
                    gray ? after[i] != after[i + 1] || after[i] != after[i + 2] : after[i] != 0;
        }
        EXPECT_EQ(wrong, 0) << (gray ? "gray" : "colour");
        const double middle = 1001e3 / 255;  // expected count of a value between the ends
        for (int v = 1; v < 255; ++v) ASSERT_NEAR(counts[v], middle, middle * 0.25) << v;
        EXPECT_NEAR(counts[0], middle / 2, middle * 0.15);
        EXPECT_NEAR(counts[255], middle / 2, middle * 0.15);
    }
}

// Worked examples, channels kept apart and fill bytes left 0 (a fresh picture's); the source is
// never changed.
TEST(DIBSection, ResampleWorkedExamples) {
    const std::tuple<Lines, int, int, Lines> cases[] = {
        // source, new height and width, result
        {{{0, 100}, {0, 100}}, 2, 4, {{0, 25, 50, 75}, {0, 25, 50, 75}}},
        {{{10, 10}, {11, 11}}, 2, 3, {{10, 10, 10}, {10, 10, 10}}},  // 10.5 rounds to even
        {{{0, 40, 80, 120}, {0, 40, 80, 120}}, 2, 2, {{0, 60}, {0, 60}}},
        {{{0, 0}, {200, 200}}, 3, 2, {{0, 0}, {67, 67}, {133, 133}}},
        {{{9, 200, 3}, {235, 0, 77}}, 2, 3, {{9, 200, 3}, {235, 0, 77}}},  // same size: a copy
        {{{5}}, 1, 1, {{5}}},
        {{{60, 100}, {60, 100}}, 2, 1, {{60}, {60}}},
    };
    for (const auto& [from, newHeight, newWidth, want] : cases) {
        cDIBSection source;
        Paint(source, from);
        const auto before = AllBytes(source);
        auto result = source.Resample(newHeight, newWidth);
        ASSERT_NE(result, nullptr);
        cDIBSection expected;
        Paint(expected, want);
        EXPECT_EQ(std::tuple(result->Width(), result->height(), AllBytes(*result)),
                  std::tuple(newWidth, newHeight, AllBytes(expected)));
        EXPECT_EQ(AllBytes(source), before) << ::testing::PrintToString(from);
    }
}

// Sizes that cannot be made give no picture, sources that cannot be sampled raise 9, and
// neither touches the source.
TEST(DIBSection, ResampleImpossibleCases) {
    // width (0: never created, < 0: emptied), height, new height and width, error (0: no picture)
    const std::tuple<int, int, int, int, int> cases[] = {{4, 4, 0, 5, 0}, {4, 4, 5, 0, 0},
                                                         {1, 3, 3, 2, 9}, {3, 1, 2, 3, 9},
                                                         {0, 0, 3, 3, 9}, {-3, 3, 3, 3, 9}};
    for (const auto& [width, height, newHeight, newWidth, error] : cases) {
        cDIBSection source;
        if (width != 0) {
            ASSERT_TRUE(source.Create(std::abs(width), height));
            FillPattern(source, 7);
        }
        if (width < 0) source.ClearUp();
        const auto before = AllBytes(source);
        EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(source.Resample(newHeight, newWidth), nullptr); }), error)
            << width << "x" << height;
        EXPECT_EQ(AllBytes(source), before) << width << "x" << height;
    }
}

}  // namespace
}  // namespace quillane
