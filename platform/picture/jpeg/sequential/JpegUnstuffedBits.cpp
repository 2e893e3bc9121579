#include "platform/picture/jpeg/sequential/JpegUnstuffedBits.h"

#include <algorithm>

#include "platform/picture/jpeg/JpegMarkers.h"

namespace quillane {
namespace {

constexpr std::size_t kStretch = std::size_t{64} << 10;  // copied at a time
// Zeros after the data: a whole MCU read past its end, and the eight bytes of a load.
constexpr std::size_t kPadding = JpegUnstuffedBits::kMcuBytes + 16;

}  // namespace

JpegUnstuffedBits::JpegUnstuffedBits(JpegWindow& window, std::size_t at)
    : m_window(window),
      m_raw(at),
      m_bytes(kStretch + JpegUnstuffedBits::kMcuBytes + 16 + kPadding) {
    m_cursor.Next = m_bytes.data();
    Unstuff();
}

void JpegUnstuffedBits::Unstuff() {
    // A cursor past the data (in the zeros after a file cut short) keeps its place past it.
    const auto next = static_cast<std::size_t>(m_cursor.Next - m_bytes.data());
    const std::size_t from = std::min(next, m_valid);
    std::copy(m_bytes.begin() + static_cast<std::ptrdiff_t>(from),
              m_bytes.begin() + static_cast<std::ptrdiff_t>(m_valid), m_bytes.begin());
    m_valid -= from;
    m_cursor.Next = m_bytes.data() + (next - from);
    const std::size_t goal = m_valid + kStretch;
    while (m_valid < goal && !m_atMarker) {
        const std::span<const std::uint8_t> raw = m_window.From(m_raw, 2);
        if (raw.empty()) break;  // cut short: the data ends without a marker
        const std::size_t n = std::min(raw.size(), goal - m_valid);
        const auto* ff = static_cast<const std::uint8_t*>(std::memchr(raw.data(), 0xFF, n));
        const std::size_t plain = ff ? static_cast<std::size_t>(ff - raw.data()) : n;
        std::memcpy(m_bytes.data() + m_valid, raw.data(), plain);
        m_valid += plain;
        m_raw += plain;
        if (!ff) continue;
        // 0xFF: fill bytes may follow; then a zero makes it a data byte, anything else a marker.
        std::size_t after = m_raw + 1;
        while (m_window.ByteAt(after) == 0xFF) ++after;
        const int code = m_window.ByteAt(after);
        if (code < 0) break;
        if (code == 0) {
            m_bytes[m_valid++] = 0xFF;
            m_raw = after + 1;
        } else {
            m_markerAt = after - 1;
            m_raw = after - 1;
            m_atMarker = true;
        }
    }
    std::fill(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_valid),
              m_bytes.begin() + static_cast<std::ptrdiff_t>(m_valid + kPadding), 0);
}

std::optional<std::size_t> JpegUnstuffedBits::End() {
    while (!m_atMarker) {
        m_cursor.Next = Valid();
        const std::size_t before = m_raw;
        Unstuff();
        if (m_raw == before && !m_atMarker) return std::nullopt;
    }
    return m_markerAt;
}

bool JpegUnstuffedBits::Restart(int number) {
    // Bytes left over before the marker are passed over, as libjpeg does after a warning.
    if (!End() || m_window.ByteAt(m_markerAt + 1) != kFirstRestart + number) return false;
    m_raw = m_markerAt + 2;
    m_atMarker = false;
    m_valid = 0;
    m_cursor = {0, 0, m_bytes.data()};
    Unstuff();
    return true;
}

}  // namespace quillane
