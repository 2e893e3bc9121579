// The picture memory: its making and freeing, the copies in and out, the resampler and the noise.
// Scan line 0 is the bottom line of the picture.

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <functional>

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
// Blue, green and red of each pixel alike, from the gray values.
void Paint(cDIBSection& picture, const Lines& lines) {
    ASSERT_TRUE(picture.Create(int(lines[0].size()), int(lines.size())));
    for (std::size_t s = 0; s < lines.size(); ++s)
        for (std::size_t x = 0; x < lines[s].size(); ++x)
            std::memset(ScanLine(picture, int(s)) + 3 * x, lines[s][x], 3);
}

// Each Create follows a successful one: a failed or raising Create leaves no memory behind and
// keeps the size asked for; scan lines are padded to four bytes.
TEST(DIBSection, CreateSizesPaddingAndFailures) {
    const struct {
        int Width, Height, Error, BytesPerScanLine;  // 0: not made, -1: not checked
    } cases[] = {
        {1, 3, 0, 4},         {175, 3, 0, 528}, {176, 3, 0, 528}, {0, 3, 0, 0},
        {5, 0, 0, -1},        {5, -3, 0, -1},   {-2, 4, 0, -1},   {INT_MAX / 3 + 1, 1, 6, -1},
        {30000, 30000, 6, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.Width << "x" << c.Height);
        cDIBSection picture;
        ASSERT_TRUE(picture.Create(7, 7));
        bool created = false;
        EXPECT_EQ(ErrorOf([&] { created = picture.Create(c.Width, c.Height); }), c.Error);
        const bool made = c.BytesPerScanLine > 0;
        EXPECT_EQ(created, made);
        EXPECT_EQ(c.BytesPerScanLine < 0 ? -1 : picture.BytesPerScanLine(), c.BytesPerScanLine);
        EXPECT_EQ(picture.hDib() != 0, made);
        EXPECT_EQ(picture.DIBSectionBitsPtr() != nullptr, made);
        const auto expected = std::tuple(made, c.Width, c.Height);  // not checked when raised
        EXPECT_EQ(
            c.Error ? expected : std::tuple(picture.hdc() != 0, picture.Width(), picture.height()),
            expected);
        picture.ClearUp();
        EXPECT_EQ(picture.hdc(), 0);
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
        EXPECT_EQ(SelectedBitmap(picture.hdc()), picture.hDib());
        dib = picture.hDib(), dc = picture.hdc();
        ASSERT_TRUE(picture.Create(3, 2));
        EXPECT_FALSE(BitmapPixels(dib).has_value()) << "the old section was freed";
        EXPECT_FALSE(DeleteDC(dc)) << "the old DC was freed";
        dib = picture.hDib();
        picture.ClearUp(), picture.ClearUp();
        EXPECT_EQ(std::tuple(picture.hdc(), picture.hDib(), picture.Width(), picture.height(),
                             picture.DIBSectionBitsPtr()),
                  std::tuple(0, 0, 3, 2, nullptr));
        EXPECT_FALSE(BitmapPixels(dib).has_value());
        ASSERT_TRUE(picture.Create(4, 4));
        dib = picture.hDib(), dc = picture.hdc();
    }
    EXPECT_FALSE(BitmapPixels(dib).has_value()) << "freed on destruction";
    EXPECT_FALSE(DeleteDC(dc));

    cDIBSection outside, never;
    ASSERT_TRUE(outside.CreateDIB(0, 4, 4, dib));
    ASSERT_NE(outside.DIBSectionBitsPtr(), nullptr);
    ASSERT_TRUE(DeleteObject(dib));
    EXPECT_EQ(ErrorOf([&] { (void)outside.Resample(2, 2); }), 9);
    EXPECT_EQ(ErrorOf([&] { outside.RandomiseBits(true); }), 9);
    EXPECT_EQ(ErrorOf([&] { never.RandomiseBits(true), never.RandomiseBits(false); }), 0);
}

// A picture's rows of 21 bytes land bottom line first, padded to 24; one whose bitmap cannot be
// copied leaves the object empty. LoadPictureBlt copies the asked width (-1: all).
TEST(DIBSection, CopiesFromPicturesAndContexts) {
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

    const std::int32_t holder = CreateCompatibleDC(0);
    const std::int32_t stock = SelectObject(holder, source->Handle());
    picture.CreateFromPicture(*source);  // its bitmap is busy in another context
    EXPECT_EQ(std::pair(picture.hdc(), picture.hDib()), std::pair(0, 0));
    SelectObject(holder, stock);
    DeleteDC(holder);

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

// The clipboard gets the whole picture, top line first; a device-independent copy is refused
// with a message, a freed picture or a clipboard held elsewhere puts nothing there silently.
TEST(DIBSection, CopyToClipboard) {
    testing::MessageRecorder messages;
    cDIBSection picture, emptied;
    ASSERT_TRUE(picture.Create(5, 3));
    FillPattern(picture, 9);
    ASSERT_TRUE(picture.CopyToClipboard(false));
    const std::int32_t copied = ClipboardBitmap();
    const std::optional<BgrView> held = BitmapPixels(copied);
    ASSERT_TRUE(held && held->Width == 5 && held->Height == 3);
    for (int y = 0; y < 3; ++y)
        for (int i = 0; i < 15; ++i) EXPECT_EQ(held->Row(y)[i], ScanLine(picture, 2 - y)[i]);
    EXPECT_TRUE(messages.Messages.empty());
    EXPECT_FALSE(picture.CopyToClipboard(true));
    ASSERT_EQ(messages.Messages.size(), 1u);
    EXPECT_EQ(messages.Messages[0].Style, vbOKOnly);
    ASSERT_TRUE(emptied.Create(4, 4));
    emptied.ClearUp();
    EXPECT_FALSE(emptied.CopyToClipboard(false));
    {
        ClipboardHolder other;
        ASSERT_TRUE(other.Holding());
        EXPECT_FALSE(picture.CopyToClipboard(false));
    }
    EXPECT_EQ(ClipboardBitmap(), copied);
    EXPECT_EQ(messages.Messages.size(), 1u);
}

// Gray noise has equal channels, colour noise no blue; fill bytes keep their values. Values span
// the byte with half-weight ends.
TEST(DIBSection, RandomiseBits) {
    const struct {
        int Width, Height;
        bool Gray;  // widths 1 and 5 leave a fill byte at the end of each scan line
    } cases[] = {{1, 6, true}, {5, 7, false}, {4, 3, false}};
    for (const auto& c : cases) {
        cDIBSection picture;
        ASSERT_TRUE(picture.Create(c.Width, c.Height));
        FillPattern(picture, 11);
        const auto before = AllBytes(picture);
        picture.RandomiseBits(c.Gray);
        const int bpl = picture.BytesPerScanLine();
        int changed = 0;
        for (int i = 0; i < bpl * c.Height; ++i) {
            const std::uint8_t* p = picture.DIBSectionBitsPtr() + i;
            const bool fill = i % bpl >= 3 * c.Width, pixel = !fill && i % bpl % 3 == 0;
            EXPECT_TRUE(fill ? *p == before[i]
                             : !pixel || (c.Gray ? p[0] == p[1] && p[1] == p[2] : p[0] == 0))
                << (fill ? "fill byte " : "pixel at ") << i;
            changed += !fill && i % bpl % 3 == 1 && *p != before[i];  // green
        }
        EXPECT_GT(changed, 0);
    }
    cDIBSection big;
    ASSERT_TRUE(big.Create(1000, 1000));
    big.RandomiseBits(true);
    std::array<int, 256> counts{};
    for (int s = 0; s < 1000; ++s)
        for (int x = 0; x < 1000; ++x) ++counts[ScanLine(big, s)[3 * x]];
    const double middle = 1e6 / 255.0;  // expected count of a value between the ends
    for (int v = 1; v < 255; ++v) ASSERT_NEAR(counts[v], middle, middle * 0.25) << v;
    EXPECT_NEAR(counts[0], middle / 2, middle * 0.15);
    EXPECT_NEAR(counts[255], middle / 2, middle * 0.15);
}

// Worked examples, channels kept apart and fill bytes left 0; the source is never changed.
TEST(DIBSection, ResampleWorkedExamples) {
    const struct {
        const char* Name;
        Lines Source;
        int NewHeight, NewWidth;
        Lines Expected;
    } cases[] = {
        {"widen to 4", {{0, 100}, {0, 100}}, 2, 4, {{0, 25, 50, 75}, {0, 25, 50, 75}}},
        {"10.5 rounds to even", {{10, 10}, {11, 11}}, 2, 3, {{10, 10, 10}, {10, 10, 10}}},
        {"halve the width", {{0, 40, 80, 120}, {0, 40, 80, 120}}, 2, 2, {{0, 60}, {0, 60}}},
        {"three scan lines", {{0, 0}, {200, 200}}, 3, 2, {{0, 0}, {67, 67}, {133, 133}}},
        {"same size copies", {{9, 200, 3}, {255, 0, 77}}, 2, 3, {{9, 200, 3}, {255, 0, 77}}},
        {"single pixel", {{5}}, 1, 1, {{5}}},
        {"to one column", {{60, 100}, {60, 100}}, 2, 1, {{60}, {60}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        cDIBSection source;
        Paint(source, c.Source);
        const auto before = AllBytes(source);
        auto result = source.Resample(c.NewHeight, c.NewWidth);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(std::pair(result->Width(), result->height()), std::pair(c.NewWidth, c.NewHeight));
        for (int s = 0; s < c.NewHeight; ++s)
            for (int i = 0; i < 3 * c.NewWidth; ++i)
                EXPECT_EQ(ScanLine(*result, s)[i], c.Expected[s][i / 3]) << s << "," << i;
        EXPECT_EQ(AllBytes(source), before) << "source changed";
    }
    cDIBSection source;
    ASSERT_TRUE(source.Create(2, 2));
    for (int s = 0; s < 2; ++s)  // blue, green, red twice
        for (const int i : {0, 1, 2, 3, 4, 5})
            ScanLine(source, s)[i] = std::uint8_t(10 * i + (i < 3 ? 10 : 20));
    auto result = source.Resample(2, 3);  // 9 bytes of pixels, 3 fill bytes a line
    ASSERT_NE(result, nullptr);
    // x = 1 samples position 1/3: blue 10 + 40/3 = 23.3, green 33.3, red 43.3.
    const std::vector<std::uint8_t> expected = {10, 20, 30, 23, 33, 43, 37, 47, 57, 0, 0, 0};
    for (int s = 0; s < 2; ++s)
        EXPECT_EQ(std::vector<std::uint8_t>(ScanLine(*result, s), ScanLine(*result, s) + 12),
                  expected);
}

// Sizes that cannot be made give no picture, sources that cannot be sampled raise 9, and
// neither touches the source.
TEST(DIBSection, ResampleImpossibleCases) {
    auto picture = [](int width, int height) {
        return [=](cDIBSection& p) { p.Create(width, height), FillPattern(p, 7); };
    };
    auto emptied = [](cDIBSection& p) { p.Create(3, 3), p.ClearUp(); };
    const struct {
        const char* Name;
        std::function<void(cDIBSection&)> Prepare;
        int NewHeight, NewWidth, Error;  // 0: no error and no picture
    } cases[] = {
        {"height 0", picture(4, 4), 0, 5, 0},
        {"width 0", picture(4, 4), 5, 0, 0},
        {"one pixel wide", picture(1, 3), 3, 2, 9},
        {"one line high", picture(3, 1), 2, 3, 9},
        {"never created", [](cDIBSection&) {}, 3, 3, 9},
        {"emptied, same size", emptied, 3, 3, 9},
    };
    for (const auto& c : cases) {
        cDIBSection source;
        c.Prepare(source);
        const auto before = AllBytes(source);
        EXPECT_EQ(ErrorOf([&] {
                      EXPECT_EQ(source.Resample(c.NewHeight, c.NewWidth), nullptr) << c.Name;
                  }),
                  c.Error)
            << c.Name;
        EXPECT_EQ(AllBytes(source), before) << c.Name;
    }
}

}  // namespace
}  // namespace quillane
