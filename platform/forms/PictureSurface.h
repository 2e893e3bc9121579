#pragma once
// The off-screen drawing area behind a picture box: a bitmap exactly the size of the box's
// interior that keeps whatever is painted on it, and the user scale that painting coordinates
// are given in. Nobody sees it; the picture conversion paints on it and reads it back.

#include <cstdint>
#include <memory>

#include "platform/gdi/StdPicture.h"

namespace quillane {

class BitmapPicture;

class PictureSurface {
  public:
    PictureSurface();
    ~PictureSurface();

    // The colour the interior is cleared to, as 0xBBGGRR; white until it is set.
    void SetBackground(std::int32_t colour);
    // Clears everything drawn to the background.
    void Clear();

    // Gives the interior a new size in pixels; what was drawn is cleared to the background.
    // Raises Out of memory (7) when the bitmap cannot be had; the surface is then unchanged.
    void Resize(int pixelWidth, int pixelHeight);
    int PixelWidth() const { return m_pixelWidth; }
    int PixelHeight() const { return m_pixelHeight; }

    // The interior spans scaleWidth x scaleHeight units from now on; 0 in a direction makes
    // the unit the pixel there.
    void SetScale(float scaleWidth, float scaleHeight);

    // Paints the source rectangle of picture (x2, y2, w2, h2) stretched onto the destination
    // rectangle (x1, y1, w1, h1), both in the surface's units, each direction on its own, with
    // the high-quality filter. Parts outside the interior are cut off; empty or negative
    // rectangles paint nothing. Only source copy is supported as raster operation (Invalid
    // property value, 380, for others). Raises the picture's decoding errors and Out of memory.
    void PaintPicture(StdPicture& picture, float x1, float y1, float w1, float h1, float x2,
                      float y2, float w2, float h2, std::int32_t rop);

    // A new picture holding a copy of everything drawn, exactly the interior's size; no picture
    // for an interior of no pixels. Raises Out of memory when the copy cannot be had.
    PictureRef Image() const;

  private:
    std::shared_ptr<BitmapPicture> m_bitmap;  // null while the interior has no pixels
    int m_pixelWidth = 0;
    int m_pixelHeight = 0;
    float m_scaleWidth = 0;  // 0: the scale is the pixel
    float m_scaleHeight = 0;
    std::int32_t m_background = 0xFFFFFF;  // the system's window colour: white
};

}  // namespace quillane
