#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "platform/gdi/BitmapPicture.h"
#include "platform/gdi/Gdi.h"

namespace quillane {
namespace {

BITMAPINFO Header(std::int32_t width, std::int32_t height, std::uint16_t bits = 24,
                  std::uint32_t compression = BI_RGB, std::uint16_t planes = 1) {
    return BITMAPINFO{{40, width, height, planes, bits, compression}, {}};
}

// A memory DC holding a fresh compatible bitmap whose bytes follow a pattern.
struct Surface {
    std::int32_t Dc = CreateCompatibleDC(0);
    std::int32_t Bitmap = 0;

    Surface(int width, int height, int salt) {
        Bitmap = CreateCompatibleBitmap(Dc, width, height);
        SelectObject(Dc, Bitmap);
        const BgrView view = *BitmapPixels(Bitmap);
        for (int y = 0; y < height; ++y)
            for (int i = 0; i < width * 3; ++i) view.Row(y)[i] = Byte(i / 3, y, i % 3, salt);
    }
    ~Surface() { EXPECT_TRUE(DeleteDC(Dc) && DeleteObject(Bitmap)); }  // the DC lets it go
    static std::uint8_t Byte(int x, int y, int channel, int salt) {
        return static_cast<std::uint8_t>(salt + 40 * y + 7 * x + channel);
    }
    std::uint8_t At(int x, int y, int channel) const {
        return BitmapPixels(Bitmap)->Row(y)[x * 3 + channel];
    }
};

TEST(GdiHandles, StaleAndWrongHandlesFailAndSelectObjectGuardsBitmaps) {
    const std::int32_t dc = CreateCompatibleDC(0);
    const std::int32_t bitmap = CreateCompatibleBitmap(dc, 2, 2);
    const std::int32_t deadDc = CreateCompatibleDC(0);
    const std::int32_t deadBitmap = CreateCompatibleBitmap(dc, 2, 2);
    ASSERT_TRUE(DeleteDC(deadDc) && DeleteObject(deadBitmap));
    BITMAP record{};
    // Each call must fail: selecting into a dead DC or a dead bitmap, deleting twice or the wrong
    // kind, a short record, copying into a null DC or from a dead one, a DC from a dead one, the
    // pixels of a dead bitmap, an unknown window's DC, releasing a memory DC.
    const std::vector<bool> succeeded = {SelectObject(deadDc, bitmap) != 0,
                                         SelectObject(dc, deadBitmap) != 0,
                                         DeleteDC(deadDc),
                                         DeleteDC(bitmap),
                                         DeleteObject(deadBitmap),
                                         DeleteObject(dc),
                                         GetObjectA(bitmap, sizeof record - 1, &record) != 0,
                                         BitBlt(0, 0, 0, 1, 1, dc, 0, 0, SRCCOPY),
                                         BitBlt(dc, 0, 0, 1, 1, deadDc, 0, 0, SRCCOPY),
                                         CreateCompatibleDC(deadDc) != 0,
                                         BitmapPixels(deadBitmap).has_value(),
                                         GetDC(12345) != 0,
                                         ReleaseDC(0, dc)};
    EXPECT_EQ(succeeded, std::vector<bool>(succeeded.size(), false));
    EXPECT_TRUE(DeleteObject(bitmap));

    // SelectObject hands back what it replaced and guards the bitmaps it selected.
    const std::int32_t other = CreateCompatibleDC(0);
    const std::int32_t first = CreateCompatibleBitmap(dc, 3, 3);
    const std::int32_t stock = SelectObject(dc, first);
    EXPECT_EQ(SelectObject(other, first), 0) << "already selected into dc";
    EXPECT_FALSE(DeleteObject(first)) << "still selected";
    EXPECT_EQ(SelectObject(dc, stock), first);
    EXPECT_TRUE(DeleteObject(first));
    const std::int32_t screen = GetDC(GetDesktopWindow());
    EXPECT_EQ(SelectObject(screen, CreateCompatibleBitmap(screen, 1, 1)), 0);
    EXPECT_TRUE(ReleaseDC(GetDesktopWindow(), screen));
    EXPECT_TRUE(DeleteDC(dc) && DeleteDC(other));
}

// Each case copies a block from a 5x4 source (or, within, from the 4x3 destination itself)
// into the 4x3 destination at offsets that cross every edge; the expectation comes from a
// pixel-by-pixel bounds check.
TEST(GdiBitBlt, ClipsAgainstBothBitmapsAndCopiesOverlapsWhole) {
    struct Case {
        int x, y, w, h, x1, y1;
        bool within = false;
    };
    // clang-format off
    const Case cases[] = {{0, 0, 3, 2, 0, 0}, {-2, -1, 3, 2, 0, 0}, {2, 2, 3, 2, 0, 0},
                          {0, 0, 3, 2, -2, -1}, {1, 1, 3, 2, 3, 3}, {0, 0, 10, 10, 1, 1},
                          {5, 0, 3, 2, 0, 0}, {0, 0, 3, 2, 5, 0}, {0, 0, 0, 2, 0, 0},
                          {INT_MAX, 0, 3, 2, 0, 0}, {0, 0, INT_MAX, INT_MAX, INT_MIN, 0},
                          {1, 1, 3, 2, 0, 0, true}, {0, 0, 3, 2, 1, 1, true}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case x=" << c.x << " y=" << c.y << " x1=" << c.x1
                                          << " y1=" << c.y1 << (c.within ? " within" : ""));
        Surface src(5, 4, 100), dest(4, 3, 0);
        const int salt = c.within ? 0 : 100, width = c.within ? 4 : 5, height = c.within ? 3 : 4;
        ASSERT_TRUE(
            BitBlt(dest.Dc, c.x, c.y, c.w, c.h, c.within ? dest.Dc : src.Dc, c.x1, c.y1, SRCCOPY));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) {
                const long sx = long{c.x1} + x - c.x, sy = long{c.y1} + y - c.y;
                const bool inside = x >= c.x && long{x} < long{c.x} + c.w && y >= c.y &&
                                    long{y} < long{c.y} + c.h && sx >= 0 && sx < width && sy >= 0 &&
                                    sy < height;
                const std::uint8_t expected =
                    inside ? Surface::Byte(int(sx), int(sy), 1, salt) : Surface::Byte(x, y, 1, 0);
                ASSERT_EQ(dest.At(x, y, 1), expected) << "at " << x << "," << y;
            }
    }
}

TEST(GdiBitBlt, RasterOperationsCombineSourceAndDestination) {
    using Op = std::uint8_t (*)(std::uint8_t, std::uint8_t);
    const std::tuple<const char*, std::int32_t, Op> cases[] = {
        {"SRCCOPY", SRCCOPY, [](auto s, auto) -> std::uint8_t { return s; }},
        {"SRCAND", SRCAND, [](auto s, auto d) -> std::uint8_t { return s & d; }},
        {"SRCERASE", SRCERASE, [](auto s, auto d) -> std::uint8_t { return s & ~d; }},
        {"NOTSRCERASE", NOTSRCERASE, [](auto s, auto d) -> std::uint8_t { return ~(s | d); }},
        {"MERGEPAINT", MERGEPAINT, [](auto s, auto d) -> std::uint8_t { return ~s | d; }},
        {"DSTINVERT", DSTINVERT, [](auto, auto d) -> std::uint8_t { return ~d; }},
        {"WHITENESS", WHITENESS, [](auto, auto) -> std::uint8_t { return 255; }}};
    for (const auto& [name, rop, expected] : cases) {
        Surface src(3, 2, 77), dest(3, 2, 9);
        ASSERT_TRUE(BitBlt(dest.Dc, 0, 0, 3, 2, src.Dc, 0, 0, rop)) << name;
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(dest.At(i % 3, i / 3, 2), expected(Surface::Byte(i % 3, i / 3, 2, 77),
                                                         Surface::Byte(i % 3, i / 3, 2, 9)))
                << name << " at " << i;
    }
    Surface dest(5, 5, 0);
    EXPECT_FALSE(BitBlt(dest.Dc, 0, 0, 2, 2, 0, 0, 0, 0x00F00021)) << "PATCOPY needs a brush";
    EXPECT_TRUE(BitBlt(dest.Dc, 0, 0, 2, 2, 0, 0, 0, WHITENESS)) << "no source needed";
}

// Bad headers and sizes are refused; a section made reports its layout, zero-filled.
TEST(GdiDibSection, RefusesBadHeadersAndReportsItsLayout) {
    const std::uint32_t rgb = DIB_RGB_COLORS;
    // clang-format off
    const std::tuple<const char*, BITMAPINFO, std::uint32_t, std::int32_t> cases[] = {
        {"width 0", Header(0, 4), rgb, 0}, {"height INT_MIN", Header(4, INT_MIN), rgb, 0},
        {"16 bits", Header(4, 4, 16), rgb, 0}, {"RLE", Header(4, 4, 24, 1), rgb, 0},
        {"two planes", Header(4, 4, 24, BI_RGB, 2), rgb, 0}, {"file mapping", Header(4, 4), rgb, 7},
        {"over 2 GiB", Header(30000, 30000), rgb, 0}, {"palette usage", Header(4, 4), 1, 0}};
    // clang-format on
    for (const auto& [name, info, usage, section] : cases) {
        void* bits = reinterpret_cast<void*>(1);
        EXPECT_EQ(CreateDIBSection(0, &info, usage, &bits, section, 0), 0) << name;
        EXPECT_EQ(bits, nullptr) << name;
    }
    for (const bool bottomUp : {true, false}) {
        const BITMAPINFO info = Header(5, bottomUp ? 3 : -3);
        std::uint8_t* bits = nullptr;
        const std::int32_t section = CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, 0, 0);
        ASSERT_NE(section, 0);
        EXPECT_EQ(std::vector<std::uint8_t>(bits, bits + 48), std::vector<std::uint8_t>(48));
        BITMAP record{};
        ASSERT_EQ(GetObjectA(section, sizeof record, &record), static_cast<int>(sizeof record));
        EXPECT_EQ(std::tuple(record.bmWidth, record.bmHeight, record.bmWidthBytes,
                             record.bmBitsPixel, record.bmPlanes, record.bmBits),
                  std::tuple(5, 3, 16, 24, 1, bits));
        const BgrView view = *BitmapPixels(section);
        EXPECT_EQ(view.Row(0), bottomUp ? bits + 2 * 16 : bits) << "top line";
        EXPECT_EQ(view.Stride, bottomUp ? -16 : 16);
        ASSERT_TRUE(DeleteObject(section));
        EXPECT_EQ(DIBSectionBytes(bits), 0u);
    }
}

TEST(GdiBitmapPicture, OwnsItsBitmapEvenWhenSelected) {
    std::int32_t handle = 0;
    const std::int32_t dc = CreateCompatibleDC(0);
    const std::int32_t stock = SelectedBitmap(dc);
    {
        auto picture = BitmapPicture::Create(6, 4);
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(std::pair(picture->PixelWidth(), picture->PixelHeight()), std::pair(6, 4));
        handle = picture->Handle();
        EXPECT_EQ(SelectObject(dc, handle), stock);
    }
    EXPECT_FALSE(BitmapPixels(handle).has_value()) << "deleted with the picture";
    EXPECT_EQ(SelectedBitmap(dc), stock) << "the DC got its stock bitmap back";
    EXPECT_EQ(BitmapPicture::Adopt(handle), nullptr);
    EXPECT_EQ(BitmapPicture::Create(0, 5), nullptr);
    EXPECT_NE(BitmapPicture::Adopt(CreateCompatibleBitmap(dc, 2, 3)), nullptr);
    DeleteDC(dc);
}

}  // namespace
}  // namespace quillane
