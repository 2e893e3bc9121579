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

// Where the decode is in the unstuffed bytes, copied into the decoder's own variables for an MCU
// so that the compiler keeps it in registers.
struct JpegBitCursor {
    std::uint64_t Buffer = 0;  // the first Count bits are the next ones, left aligned
    int Count = 0;
    const std::uint8_t* Next = nullptr;  // the first byte not yet loaded whole into Buffer

    // At least 56 bits in the buffer; the bits after them are the data's next ones too.
    void Refill() {
        std::uint64_t next;
        std::memcpy(&next, Next, 8);
        Buffer |= __builtin_bswap64(next) >> Count;
        Next += static_cast<unsigned>(63 - Count) >> 3;
        Count |= 56;
    }
    // At least 32 bits: a code and its value.
    void Keep32() {
        if (Count < 32) Refill();
    }
    // The next `count` (1..32, no more than Count) bits, the first most significant.
    std::uint32_t Peek(int count) const {
        return static_cast<std::uint32_t>(Buffer >> (64 - count));
    }
    void Take(int count) {
        Buffer <<= count;
        Count -= count;
    }
};

class JpegUnstuffedBits {
  public:
    // The most bytes one MCU can take: ten blocks of 64 codes of up to 16 bits, each with up to
    // 15 more bits.
    static constexpr std::size_t kMcuBytes = 10 * 64 * 31 / 8 + 1;

    JpegUnstuffedBits(JpegWindow& window, std::size_t at);

    // Before each MCU: at least kMcuBytes of data at hand, or all there is up to the marker.
    void MakeRoomForMcu() {
        if (Valid() - m_cursor.Next < std::ptrdiff_t{kMcuBytes + 8} && !m_atMarker) Unstuff();
    }
    // The cursor to decode an MCU with, and to put back after it.
    JpegBitCursor& Cursor() { return m_cursor; }

    // Whether the decode so far has used only bits of the data: damaged data runs past it.
    // (The bits in the buffer may come from bytes before the front Unstuff moved them to.)
    bool WithinData() const {
        return (m_cursor.Next - m_bytes.data()) * 8 <=
               static_cast<std::ptrdiff_t>(m_valid * 8) + m_cursor.Count;
    }

    // At the end of a restart interval: the marker that ended the data must be restart marker
    // `number` (0..7). The bits left before it are padding; the data goes on after it.
    bool Restart(int number);

    // Where the marker that ends the data lies, the bytes before it passed over; empty when the
    // file ends first.
    std::optional<std::size_t> End();

  private:
    const std::uint8_t* Valid() const { return m_bytes.data() + m_valid; }
    // Moves the bytes not yet taken to the front and copies more after them.
    void Unstuff();

    JpegWindow& m_window;
    std::size_t m_raw;  // the next byte of the file to copy
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_valid = 0;  // bytes of data in m_bytes, zeros after them
    bool m_atMarker = false;  // m_raw is at the marker that ends the data
    std::size_t m_markerAt = 0;
    JpegBitCursor m_cursor;
};

}  // namespace quillane
