#include "platform/forms/PictureBox.h"

#include <cmath>

#include "platform/base/Conversions.h"
#include "platform/base/RuntimeError.h"

namespace quillane {

namespace {
int WholePixels(float size) {
    return CLng(size);
}
}  // namespace

PictureBox::PictureBox(std::string name, float left, float top, float width, float height,
                       int tabIndex)
    : Control(ControlKind::PictureBox, std::move(name), kNoControlIndex, left, top, width, height,
              tabIndex) {}

void PictureBox::SetPicture(PictureRef picture) {
    m_picture = std::move(picture);
    if (AutoSize && m_picture) {
        Move(Left(), Top(), static_cast<float>(m_picture->PixelWidth()),
             static_cast<float>(m_picture->PixelHeight()));
        m_surfaceStale = true;
    }
}

void PictureBox::SetWidth(float width) {
    if (!(width >= 0)) RaiseError(ErrorNumber::InvalidPropertyValue);
    if (AutoRedraw) {
        m_surface.Resize(WholePixels(width), WholePixels(Height()));
        m_surfaceStale = false;
        ApplyScale();
    } else {
        m_surfaceStale = true;
    }
    Move(Left(), Top(), width, Height());
}

void PictureBox::SetHeight(float height) {
    if (!(height >= 0)) RaiseError(ErrorNumber::InvalidPropertyValue);
    if (AutoRedraw) {
        m_surface.Resize(WholePixels(Width()), WholePixels(height));
        m_surfaceStale = false;
        ApplyScale();
    } else {
        m_surfaceStale = true;
    }
    Move(Left(), Top(), Width(), height);
}

float PictureBox::ScaleWidth() const {
    return m_scaleWidth != 0 ? m_scaleWidth : Width();
}
float PictureBox::ScaleHeight() const {
    return m_scaleHeight != 0 ? m_scaleHeight : Height();
}

void PictureBox::SetScaleWidth(float scaleWidth) {
    if (scaleWidth == 0 || !std::isfinite(scaleWidth)) {
        RaiseError(ErrorNumber::InvalidPropertyValue);
    }
    m_scaleWidth = scaleWidth;
    ApplyScale();
}

void PictureBox::SetScaleHeight(float scaleHeight) {
    if (scaleHeight == 0 || !std::isfinite(scaleHeight)) {
        RaiseError(ErrorNumber::InvalidPropertyValue);
    }
    m_scaleHeight = scaleHeight;
    ApplyScale();
}

void PictureBox::ApplyScale() {
    m_surface.SetScale(m_scaleWidth, m_scaleHeight);
}

void PictureBox::EnsureSurface() {
    if (!m_surfaceStale) return;
    m_surface.Resize(WholePixels(Width()), WholePixels(Height()));
    ApplyScale();
    m_surfaceStale = false;
}

void PictureBox::PaintPicture(const PictureRef& picture, float x1, float y1, float w1, float h1,
                              float x2, float y2, float w2, float h2, std::int32_t rop) {
    if (!picture) RaiseError(ErrorNumber::InvalidPicture);
    EnsureSurface();
    m_surface.PaintPicture(*picture, x1, y1, w1, h1, x2, y2, w2, h2, rop);
}

void PictureBox::SetBackColor(std::int32_t colour) {
    m_backColor = colour & 0xFFFFFF;
    m_surface.SetBackground(m_backColor);
}

void PictureBox::Cls() {
    EnsureSurface();
    m_surface.Clear();
}

PictureRef PictureBox::Image() {
    EnsureSurface();
    return m_surface.Image();
}

}  // namespace quillane
