#pragma once
// The entropy-coded data of a sequential scan, read fast (private to jpeg/sequential). The bytes
// are first copied out of the file a stretch at a time with their stuffed zeros taken out
// (memchr finds the rare 0xFF), up to the marker that ends the data: a restart marker or the
// next segment. The bit buffer then loads eight bytes at once with no check per byte, and the
// zero bytes after the copy make any read past the data safe; whether the decode used bits
// past it is checked once per MCU.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/picture/jpeg/JpegSource.h"

namespace quillane {

class JpegUnstuffedBits {
  public:
    // The most bytes one MCU can take: ten blocks of 64 codes of up to 16 bits, each with up to
    // 15 more bits.
    static constexpr std::size_t kMcuBytes = 10 * 64 * 31 / 8 + 1;

    JpegUnstuffedBits(JpegWindow& window, std::size_t at);

    // Before each MCU: at least kMcuBytes of data at hand, or all there is up to the marker.
    void MakeRoomForMcu() {
        if (m_valid - m_next < kMcuBytes + 8 && !m_atMarker) Unstuff();
    }

    // Whether the decode so far has used only bits of the data: damaged data runs past it.
    // (The bits in the buffer may come from bytes before the front Unstuff moved them to.)
    bool WithinData() const {
        return m_next * 8 <= m_valid * 8 + static_cast<std::size_t>(m_count);
    }

    // At the end of a restart interval: the marker that ended the data must be restart marker
    // `number` (0..7). The bits left before it are padding; the data goes on after it.
    bool Restart(int number);

    // Where the marker that ends the data lies, the bytes before it passed over; empty when the
    // file ends first.
    std::optional<std::size_t> End();

    // At least 56 bits in the buffer (and the next bits after them, unmarked).
    void Refill() {
        std::uint64_t next;
        std::memcpy(&next, m_bytes.data() + m_next, 8);
        m_buffer |= __builtin_bswap64(next) >> m_count;
        m_next += static_cast<std::size_t>(63 - m_count) >> 3;
        m_count |= 56;
    }
    // The next `count` (1..32) bits, the first most significant, without taking them.
    std::uint32_t Peek(int count) const {
        return static_cast<std::uint32_t>(m_buffer >> (64 - count));
    }
    void Take(int count) {
        m_buffer <<= count;
        m_count -= count;
    }
    int Count() const { return m_count; }

  private:
    // Moves the bytes not yet taken to the front and copies more after them.
    void Unstuff();

    JpegWindow& m_window;
    std::size_t m_raw;  // the next byte of the file to copy
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_valid = 0;  // bytes of data in m_bytes, zeros after them
    std::size_t m_next = 0;   // the first byte not yet loaded whole into the buffer
    bool m_atMarker = false;  // m_raw is at the marker that ends the data
    std::size_t m_markerAt = 0;
    std::uint64_t m_buffer = 0;  // the first m_count bits are the next ones, left aligned
    int m_count = 0;
};

}  // namespace quillane
