#pragma once
// The bits of a JPEG scan's entropy-coded data, most significant first. A 0xFF byte in that
// data is followed by a stuffed zero; any other byte after 0xFF is a marker, and the data ends
// there: a read that would need bits past it fails instead of inventing them.

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/picture/jpeg/JpegSource.h"

namespace quillane {

class JpegBitReader {
  public:
    JpegBitReader(JpegWindow& bytes, std::size_t at) : m_bytes(&bytes), m_start(at) {}

    // Where a reader stands, to go on from there later: the first byte not yet taken and the
    // bits taken but unread.
    struct Mark {
        std::size_t Position = 0;
        std::uint64_t Buffer = 0;
        int Count = 0;
    };
    JpegBitReader(JpegWindow& bytes, const Mark& mark)
        : m_bytes(&bytes), m_start(mark.Position), m_buffer(mark.Buffer), m_count(mark.Count) {}
    Mark Save() const { return {Position(), m_buffer, m_count}; }

    // The next `count` (0..16) bits as an unsigned number; false when the data ends first.
    [[nodiscard]] bool Bits(int count, std::uint32_t& value) {
        if (m_count < count && !Fill(count)) return false;
        m_count -= count;
        value = static_cast<std::uint32_t>(m_buffer >> m_count) & ((std::uint32_t{1} << count) - 1);
        return true;
    }

    // The next `count` (0..16) bits without taking them, for a table lookup; false when the
    // data ends first.
    [[nodiscard]] bool Peek(int count, std::uint32_t& value) {
        if (m_count < count && !Fill(count)) return false;
        value = static_cast<std::uint32_t>(m_buffer >> (m_count - count)) &
                ((std::uint32_t{1} << count) - 1);
        return true;
    }

    // Passes over the next `count` (0..64) bits unread; false when the data ends first.
    [[nodiscard]] bool Drop(int count) {
        while (m_count < count) {
            count -= m_count;
            m_count = 0;
            if (!Fill(1)) return false;
        }
        m_count -= count;
        return true;
    }

    // Takes `count` bits of those a Peek has just seen.
    void Skip(int count) { m_count -= count; }

    // The first byte not yet taken into the bit buffer. The buffer reads ahead, but never past
    // a marker, so at the end of a restart interval or a scan this is the marker, and the
    // unread bits of the bytes taken are the padding before it.
    std::size_t Position() const { return m_start + static_cast<std::size_t>(m_next - m_first); }

  private:
    // Whole bytes up to 49..56 bits (so that no shift reaches the buffer's 64), or up to the
    // end of the data; false when that leaves fewer than `count` bits.
    bool Fill(int count) {
        while (m_count <= 48 && FetchByte()) {
        }
        return m_count >= count;
    }

    bool FetchByte() {
        // Two bytes at hand where the data has them: a 0xFF needs the one after it.
        if (m_end - m_next < 2 && !Refill()) return false;
        const std::uint8_t byte = *m_next;
        if (byte == 0xFF) {
            if (m_end - m_next < 2 || m_next[1] != 0x00) return false;
            ++m_next;  // the stuffed zero
        }
        ++m_next;
        m_buffer = (m_buffer << 8) | byte;
        m_count += 8;
        return true;
    }

    // Moves the bytes at hand on to the first one not yet taken; false at the end of the data.
    bool Refill() {
        m_start = Position();
        const std::span<const std::uint8_t> more = m_bytes->From(m_start, 2);
        m_first = m_next = more.data();
        m_end = more.data() + more.size();
        return m_next != m_end;
    }

    JpegWindow* m_bytes;
    // The bytes at hand: m_first is the one at m_start in the data, m_next the next to take.
    std::size_t m_start;
    const std::uint8_t* m_first = nullptr;
    const std::uint8_t* m_next = nullptr;
    const std::uint8_t* m_end = nullptr;
    std::uint64_t m_buffer = 0;  // only the low m_count bits are unread
    int m_count = 0;
};

}  // namespace quillane
