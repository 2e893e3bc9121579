#pragma once
// A bounds-checked byte view over a picture's pixel memory: byte column 0..BytesPerScanLine-1
// across, scan line 0..height-1 down (in memory order). It never owns, moves or frees the
// memory; every access checks both indexes and raises Subscript out of range (9) outside them.
// A grid without memory (a picture that has none) rejects every access the same way.
// It detaches when it goes out of scope, on every path.

#include <cstdint>

namespace quillane {

class PixelGrid {
  public:
    PixelGrid(std::uint8_t* base, std::int32_t bytesPerScanLine, std::int32_t scanLines)
        : m_base(base),
          m_columns(base != nullptr && bytesPerScanLine > 0 ? bytesPerScanLine : 0),
          m_scanLines(base != nullptr && scanLines > 0 ? scanLines : 0) {}
    ~PixelGrid() { Detach(); }
    PixelGrid(const PixelGrid&) = delete;
    PixelGrid& operator=(const PixelGrid&) = delete;

    std::uint8_t Read(std::int32_t column, std::int32_t scanLine) const {
        return *At(column, scanLine);
    }
    void Write(std::int32_t column, std::int32_t scanLine, std::uint8_t value) {
        *At(column, scanLine) = value;
    }

    // Forgets the memory without touching it; later accesses are out of range.
    void Detach() {
        m_base = nullptr;
        m_columns = 0;
        m_scanLines = 0;
    }

  private:
    std::uint8_t* At(std::int32_t column, std::int32_t scanLine) const {
        // One unsigned compare per index also rejects negative ones.
        if (static_cast<std::uint32_t>(column) >= static_cast<std::uint32_t>(m_columns) ||
            static_cast<std::uint32_t>(scanLine) >= static_cast<std::uint32_t>(m_scanLines)) {
            OutOfRange();
        }
        return m_base + static_cast<std::ptrdiff_t>(scanLine) * m_columns + column;
    }
    [[noreturn]] static void OutOfRange();

    std::uint8_t* m_base;
    std::int32_t m_columns;
    std::int32_t m_scanLines;
};

}  // namespace quillane
