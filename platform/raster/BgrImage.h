#pragma once
// Plain 24-bit pixel memory shared by the picture loader, the stretching filter and the drawing
// layer: blue, green, red bytes, one row after another. A view does not own its memory; its
// stride may be negative, which is how a bottom-up buffer is seen top-down.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/base/LargeBuffer.h"

namespace quillane {

struct BgrView {
    std::uint8_t* Data = nullptr;  // first byte of the top row
    int Width = 0;                 // pixels
    int Height = 0;                // rows
    std::ptrdiff_t Stride = 0;     // bytes from one row to the row below; may be negative

    std::uint8_t* Row(int y) const { return Data + static_cast<std::ptrdiff_t>(y) * Stride; }
    bool Empty() const { return Width <= 0 || Height <= 0 || Data == nullptr; }
};

struct ConstBgrView {
    const std::uint8_t* Data = nullptr;
    int Width = 0;
    int Height = 0;
    std::ptrdiff_t Stride = 0;

    ConstBgrView() = default;
    ConstBgrView(const std::uint8_t* data, int width, int height, std::ptrdiff_t stride)
        : Data(data), Width(width), Height(height), Stride(stride) {}
    ConstBgrView(const BgrView& view)  // NOLINT: a writable view is also a readable one
        : Data(view.Data), Width(view.Width), Height(view.Height), Stride(view.Stride) {}

    const std::uint8_t* Row(int y) const { return Data + static_cast<std::ptrdiff_t>(y) * Stride; }
    bool Empty() const { return Width <= 0 || Height <= 0 || Data == nullptr; }
};

// Owned top-down pixel memory; rows padded to 4 bytes like every bitmap of the program.
class BgrImage {
  public:
    BgrImage() = default;

    // Fails softly (no value) when the size is not positive, overflows, or cannot be allocated.
    [[nodiscard]] static std::optional<BgrImage> Allocate(int width, int height);

    // Bytes from one row to the next for width pixels of bitsPerPixel bits: rows padded to 4
    // bytes, as every bitmap of the program and every BMP file lays them out.
    static std::int64_t StrideFor(std::int64_t width, int bitsPerPixel = 24) {
        return (width * bitsPerPixel + 31) / 32 * 4;
    }

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    std::ptrdiff_t Stride() const { return m_stride; }
    std::uint8_t* Data() { return m_data.get(); }
    const std::uint8_t* Data() const { return m_data.get(); }
    BgrView View() { return {m_data.get(), m_width, m_height, m_stride}; }
    ConstBgrView View() const { return {m_data.get(), m_width, m_height, m_stride}; }
    bool Empty() const { return !m_data; }

  private:
    std::unique_ptr<std::uint8_t[], LargeBufferDeleter> m_data;
    int m_width = 0;
    int m_height = 0;
    std::ptrdiff_t m_stride = 0;
};

// Pixels to paint from: a view that either points into Owner or borrows from whatever made it
// (Owner then stays empty), which must outlive it.
struct DecodedPixels {
    BgrImage Owner;
    ConstBgrView View;
};

}  // namespace quillane
