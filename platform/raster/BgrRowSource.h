#pragma once
// A picture handed out one row at a time, top to bottom, so a decoder can feed the stretching
// filter without the whole decoded picture ever being held.

#include <cstdint>

namespace quillane {

class BgrRowSource {
  public:
    virtual ~BgrRowSource() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Writes the next row (Width() blue, green, red pixels) to row. False when it cannot be had,
    // for good: the source knows why.
    [[nodiscard]] virtual bool ReadRow(std::uint8_t* row) = 0;
};

}  // namespace quillane
