#pragma once
// The drawing layer: the small part of a GDI-style interface that the picture memory, the
// picture boxes and the clipboard copy need. Objects (device contexts, bitmaps, DIB sections)
// are named by 32-bit handles, 0 meaning none. A handle that was never issued, was already
// deleted or names the wrong kind of object makes a call fail (0 or false); it never touches
// memory. Handles are not reused, so a stale one stays stale.
//
// Single-threaded: like the window it serves, the layer is used from the one user-interface
// thread only; nothing is locked.

#include <cstdint>
#include <optional>

#include "platform/raster/BgrImage.h"

namespace quillane {

// Raster operations: how source (S) and destination (D) bytes combine in BitBlt.
constexpr std::int32_t SRCCOPY = 0x00CC0020;      // S
constexpr std::int32_t SRCPAINT = 0x00EE0086;     // S | D
constexpr std::int32_t SRCAND = 0x008800C6;       // S & D
constexpr std::int32_t SRCINVERT = 0x00660046;    // S ^ D
constexpr std::int32_t SRCERASE = 0x00440328;     // S & ~D
constexpr std::int32_t NOTSRCCOPY = 0x00330008;   // ~S
constexpr std::int32_t NOTSRCERASE = 0x001100A6;  // ~(S | D)
constexpr std::int32_t MERGEPAINT = 0x00BB0226;   // ~S | D
constexpr std::int32_t DSTINVERT = 0x00550009;    // ~D
constexpr std::int32_t BLACKNESS = 0x00000042;    // 0
constexpr std::int32_t WHITENESS = 0x00FF0062;    // 1

constexpr std::uint32_t DIB_RGB_COLORS = 0;  // the colour table holds literal RGB values
constexpr std::uint32_t BI_RGB = 0;          // uncompressed pixels

struct BITMAPINFOHEADER {
    std::uint32_t biSize = 0;  // 40
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;  // > 0 bottom-up, < 0 top-down
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
    std::uint8_t rgbBlue = 0;
    std::uint8_t rgbGreen = 0;
    std::uint8_t rgbRed = 0;
    std::uint8_t rgbReserved = 0;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];  // unused at 24 bits a pixel
};

// What GetObjectA reports of a bitmap. On a 64-bit build bmBits is pointer-sized, so the record
// is 32 bytes rather than 24.
struct BITMAP {
    std::int32_t bmType = 0;
    std::int32_t bmWidth = 0;
    std::int32_t bmHeight = 0;
    std::int32_t bmWidthBytes = 0;
    std::uint16_t bmPlanes = 0;
    std::uint16_t bmBitsPixel = 0;
    void* bmBits = nullptr;  // the pixels of a DIB section; null for other bitmaps
};

// Memory device context compatible with hdc (0: with the screen). A new one holds a 1x1 stock
// bitmap until another bitmap is selected. Returns 0 for an unknown hdc.
std::int32_t CreateCompatibleDC(std::int32_t hdc);
// Deletes a memory device context; the bitmap selected into it is released, not deleted.
bool DeleteDC(std::int32_t hdc);

// A 24-bit DIB section: rows padded to 4 bytes, blue-green-red pixels, bottom-up when biHeight
// is positive and top-down when negative, zero-initialised. *ppvBits receives the first byte
// of the pixels (null on failure); that address stays fixed until the section is deleted.
// Refuses (returns 0) anything but an uncompressed one-plane 24-bit header used with
// DIB_RGB_COLORS, a width that is not positive, a height of 0, a size whose bytes overflow or
// exceed 2 GiB, a non-zero file mapping, and an unknown non-zero hdc.
std::int32_t CreateDIBSection(std::int32_t hdc, const BITMAPINFO* pbmi, std::uint32_t usage,
                              void** ppvBits, std::int32_t hSection, std::uint32_t offset);
std::int32_t CreateDIBSection(std::int32_t hdc, const BITMAPINFO* pbmi, std::uint32_t usage,
                              std::uint8_t** ppvBits, std::int32_t hSection, std::uint32_t offset);

// A bitmap compatible with hdc: always 24-bit here, zero-initialised. 0 for an unknown hdc or a
// size that is not positive or too large.
std::int32_t CreateCompatibleBitmap(std::int32_t hdc, std::int32_t width, std::int32_t height);

// Selects a bitmap into a memory device context; returns the bitmap it replaced, or 0 when the
// call fails (unknown handles, a screen context, a bitmap already selected elsewhere or owned
// by the clipboard).
std::int32_t SelectObject(std::int32_t hdc, std::int32_t hObject);
// Deletes a bitmap. Fails for a bitmap still selected into a device context or owned by the
// clipboard. Deleting the stock bitmap succeeds and does nothing.
bool DeleteObject(std::int32_t hObject);
// Fills a BITMAP record for a bitmap handle; returns the bytes written (0 on failure). With a
// null record it returns the size needed.
std::int32_t GetObjectA(std::int32_t hObject, std::int32_t cbBuffer, void* pvObject);

// Copies a rectangle from hdcSrc to hdcDest, combining with the raster operation. Both
// rectangles are clipped against their bitmaps; an empty result copies nothing and succeeds.
// Fails for an unknown DC, a DC without pixels (the screen) or a raster operation that needs a
// brush. Operations that do not read the source (BLACKNESS, WHITENESS, DSTINVERT) accept
// hdcSrc 0. Overlapping copies within one bitmap are handled.
bool BitBlt(std::int32_t hdcDest, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
            std::int32_t hdcSrc, std::int32_t x1, std::int32_t y1, std::int32_t rop);

// The desktop window, the only window the layer knows.
std::int32_t GetDesktopWindow();
// A device context for the screen (hwnd 0 or the desktop window); 0 for any other window. There
// is no screen framebuffer: the context has no pixels, it serves as the reference for
// compatible contexts and bitmaps. Give it back with ReleaseDC.
std::int32_t GetDC(std::int32_t hwnd);
bool ReleaseDC(std::int32_t hwnd, std::int32_t hdc);

// For the platform's own code: a top-down view of any live bitmap's pixels (negative stride for
// a bottom-up DIB section). Empty for an unknown handle. Valid until the bitmap is deleted.
std::optional<BgrView> BitmapPixels(std::int32_t hBitmap);
// The bitmap currently selected into a memory device context (0 for unknown or screen DCs).
std::int32_t SelectedBitmap(std::int32_t hdc);
// How many bytes of a live DIB section's memory start at bits (0 when bits is the start of no
// live DIB section). Lets a holder of a bare pixel address check it is still backed.
std::size_t DIBSectionBytes(const void* bits);

}  // namespace quillane
