#pragma once
// cDIBSection: the program's picture memory. One object owns one 24-bit bottom-up DIB section,
// kept selected into a memory device context of its own, so the picture can be drawn with
// block transfers through hdc() and read or written byte by byte through DIBSectionBitsPtr().
//
// Layout: rows of BytesPerScanLine() bytes (Width() * 3 rounded up to 4), memory row 0 is the
// bottom line of the picture, pixels are blue, green, red bytes. Errors are RuntimeError
// (Overflow 6, Subscript out of range 9, Division by zero 11); nothing is trapped here.
// Used from the user-interface thread only.

#include <cstdint>
#include <memory>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/StdPicture.h"

namespace quillane {

class cDIBSection {
  public:
    cDIBSection();
    ~cDIBSection();  // calls ClearUp
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;
    cDIBSection(cDIBSection&&) = delete;
    cDIBSection& operator=(cDIBSection&&) = delete;

    // Puts a copy of the picture on the clipboard as a bitmap (bAsDIB false). A request for a
    // device-independent copy (bAsDIB true) is refused with a message. True only when the
    // clipboard accepted the bitmap.
    bool CopyToClipboard(bool bAsDIB);

    // Writes the header for lWidth x lHeight and makes a DIB section with lHDC as reference;
    // hDib receives its handle (0 on failure). The bits address is kept in the object. Overflow
    // (6) when the row or image size does not fit 32 bits.
    bool CreateDIB(std::int32_t lHDC, std::int32_t lWidth, std::int32_t lHeight,
                   std::int32_t& hDib);
    // Makes the picture memory the size of picThis's bitmap and copies the bitmap into it. On
    // any failure the object is left empty (hdc() and hDib() 0).
    void CreateFromPicture(StdPicture& picThis);
    // Frees what the object held, then makes a memory DC and a DIB section of the size. False
    // when either cannot be made (sizes that are not positive, or too large).
    bool Create(std::int32_t lWidth, std::int32_t lHeight);

    std::int32_t BytesPerScanLine() const;  // bytes a row; Overflow (6) if it does not fit
    std::int32_t Width() const;             // the header's width, the last size asked for
    std::int32_t height() const;            // the header's height, the last size asked for

    // Block transfer from lHDC into the picture at (0, 0); a negative size means the picture's.
    void LoadPictureBlt(std::int32_t lHDC, std::int32_t lSrcLeft = 0, std::int32_t lSrcTop = 0,
                        std::int32_t lSrcWidth = -1, std::int32_t lSrcHeight = -1,
                        std::int32_t eRop = SRCCOPY);
    // Block transfer from the picture onto lHDC; a negative size means the picture's.
    void PaintPicture(std::int32_t lHDC, std::int32_t lDestLeft = 0, std::int32_t lDestTop = 0,
                      std::int32_t lDestWidth = -1, std::int32_t lDestHeight = -1,
                      std::int32_t lSrcLeft = 0, std::int32_t lSrcTop = 0,
                      std::int32_t eRop = SRCCOPY);

    std::int32_t hdc() const;                 // the memory DC, 0 when none
    std::int32_t hDib() const;                // the DIB section, 0 when none
    std::uint8_t* DIBSectionBitsPtr() const;  // first byte of the pixels, null when none

    // Fills every pixel with noise: gray (equal blue, green, red) or colour (blue 0, green and
    // red random). Fill bytes at row ends are left alone. Subscript out of range (9) for a
    // picture that has a size but no memory (its Create failed).
    void RandomiseBits(bool bGray = false);
    // Frees the memory DC and the DIB section; the header keeps the last size.
    void ClearUp();
    // A new picture of lNewWidth x lNewHeight (note the order: height first) by bilinear
    // interpolation, or a copy when the size is unchanged; nullptr when it cannot be created.
    // This picture never changes. Subscript out of range (9) for a source one pixel wide or
    // high, or without memory, asked for another size.
    std::unique_ptr<cDIBSection> Resample(std::int32_t lNewHeight, std::int32_t lNewWidth);

  private:
    void ResampleBits(cDIBSection& cDest);
    // The pixel memory's base address if it is still backed by a live DIB section at least as
    // large as the header says, else null: whole-picture operations never reach past it.
    std::uint8_t* CheckedBits() const;

    std::int32_t m_hDibSection = 0;   // the DIB section
    std::int32_t m_hPrevBitmap = 0;   // what m_hMemDC held before the DIB section
    std::int32_t m_hMemDC = 0;        // the object's memory DC
    std::uint8_t* m_pBits = nullptr;  // first byte of the pixels
    BITMAPINFO m_tInfo{};             // only the header is used
};

}  // namespace quillane
