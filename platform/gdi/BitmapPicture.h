#pragma once
// A picture object backed by a bitmap of the drawing layer. It owns its bitmap and deletes it
// when it goes away, also if the bitmap is still selected into a device context then.

#include <cstdint>
#include <memory>

#include "platform/gdi/StdPicture.h"

namespace quillane {

class BitmapPicture : public StdPicture {
  public:
    // A new zeroed 24-bit bitmap of the size; nullptr when it cannot be allocated.
    [[nodiscard]] static std::shared_ptr<BitmapPicture> Create(int width, int height);
    // Takes ownership of an existing bitmap; nullptr (and nothing taken) for a handle that is
    // not a live bitmap.
    [[nodiscard]] static std::shared_ptr<BitmapPicture> Adopt(std::int32_t hBitmap);

    ~BitmapPicture() override;
    BitmapPicture(const BitmapPicture&) = delete;
    BitmapPicture& operator=(const BitmapPicture&) = delete;

    std::int32_t Handle() override { return m_hBitmap; }
    int PixelWidth() const override { return m_width; }
    int PixelHeight() const override { return m_height; }

  private:
    BitmapPicture(std::int32_t hBitmap, int width, int height)
        : m_hBitmap(hBitmap), m_width(width), m_height(height) {}

    std::int32_t m_hBitmap = 0;
    int m_width = 0;
    int m_height = 0;
};

}  // namespace quillane
