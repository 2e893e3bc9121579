#pragma once
// A picture box: it shows a picture, sizes itself to it when AutoSize is on, and with
// AutoRedraw keeps whatever is painted on it in an off-screen bitmap of its interior that can
// be read back as a picture. The boxes of the main window are such off-screen surfaces that
// nobody sees; they have no border, so the outer size is the interior.

#include <cstdint>
#include <string>

#include "platform/forms/Control.h"
#include "platform/forms/PictureSurface.h"
#include "platform/gdi/StdPicture.h"

namespace quillane {

class PictureBox : public Control {
  public:
    PictureBox(std::string name, float left, float top, float width, float height, int tabIndex);

    bool AutoSize = false;    // takes the size of the picture assigned to it
    bool AutoRedraw = false;  // keeps what is drawn in an off-screen bitmap

    // The picture shown. With AutoSize the box takes the picture's size in pixels.
    const PictureRef& Picture() const { return m_picture; }
    void SetPicture(PictureRef picture);

    // The outer size in pixels. Negative sizes raise Invalid property value (380); with
    // AutoRedraw a size whose bitmap cannot be had raises Out of memory (7) and nothing changes.
    void SetWidth(float width);
    void SetHeight(float height);

    // The interior spans ScaleWidth x ScaleHeight units; by default one unit is one pixel.
    // A zero scale raises Invalid property value (380).
    float ScaleWidth() const;
    float ScaleHeight() const;
    void SetScaleWidth(float scaleWidth);
    void SetScaleHeight(float scaleHeight);

    // Paints the source rectangle of picture (x2, y2, w2, h2) stretched onto the destination
    // rectangle (x1, y1, w1, h1), in the box's units, with the high-quality filter; what falls
    // outside the interior is cut off. Raises the picture's errors and Out of memory (7).
    void PaintPicture(const PictureRef& picture, float x1, float y1, float w1, float h1, float x2,
                      float y2, float w2, float h2, std::int32_t rop);

    // The colour Cls clears to, as 0xBBGGRR (red in the low byte); white by default.
    std::int32_t BackColor() const { return m_backColor; }
    void SetBackColor(std::int32_t colour);
    // Clears everything painted to the background colour.
    void Cls();

    // Everything painted so far, as a new picture exactly the interior's size.
    PictureRef Image();

  private:
    // Brings the off-screen bitmap to the current size. Sizes a picture gives the box are
    // only followed when something is painted, so a large source picture costs no bitmap.
    void EnsureSurface();
    void ApplyScale();

    PictureRef m_picture;
    PictureSurface m_surface;
    bool m_surfaceStale = true;
    float m_scaleWidth = 0;  // 0: the unit is the pixel
    float m_scaleHeight = 0;
    std::int32_t m_backColor = 0xFFFFFF;
};

}  // namespace quillane
