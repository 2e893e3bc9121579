#include "platform/picture/jpeg/JpegMarkers.h"

#include <algorithm>
#include <cstring>

namespace quillane {
namespace {

constexpr std::uint8_t kTemporary = 0x01;    // TEM: no segment
constexpr std::uint8_t kStuffedZero = 0x00;  // 0xFF 0x00: a data byte, not a marker
constexpr std::uint8_t kFirstFrame = 0xC0;   // SOF0
constexpr std::uint8_t kLastFrame = 0xCF;    // SOF15
constexpr std::uint8_t kJpgExtension = 0xC8;
constexpr std::uint8_t kFirstArithmeticFrame = 0xC9;  // SOF9
constexpr int kMaxComponents = 4;
constexpr int kTableSlots = 4;
constexpr int kMaxSampling = 4;

}  // namespace

bool IsRestartMarker(std::uint8_t marker) {
    return marker >= kFirstRestart && marker <= kFirstRestart + 7;
}

bool IsFrameMarker(std::uint8_t marker) {
    return marker >= kFirstFrame && marker <= kLastFrame && marker != kHuffmanTables &&
           marker != kJpgExtension && marker != kArithmeticConditioning;
}

int JpegFrame::MaxHorizontal() const {
    int most = 1;
    for (const JpegFrameComponent& c : Components) most = std::max(most, c.Horizontal);
    return most;
}

int JpegFrame::MaxVertical() const {
    int most = 1;
    for (const JpegFrameComponent& c : Components) most = std::max(most, c.Vertical);
    return most;
}

std::optional<std::string> ReadJpegFrame(std::uint8_t marker, std::span<const std::uint8_t> s,
                                         JpegFrame& frame) {
    if (s.size() < 6) return "a frame header of bad length";
    const int count = s[5];
    if (count < 1 || count > kMaxComponents ||
        s.size() != 6 + 3 * static_cast<std::size_t>(count)) {
        return "a frame header of bad length";
    }
    // The two progressive processes that are not hierarchical.
    frame.Progressive = marker == kProgressiveHuffmanFrame || marker == 0xCA;
    frame.Arithmetic = marker >= kFirstArithmeticFrame;
    frame.Precision = s[0];
    frame.Height = s[1] << 8 | s[2];
    frame.Width = s[3] << 8 | s[4];
    if (frame.Width == 0 || frame.Height == 0) return "an empty frame";
    frame.Components.assign(count, {});
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* field = &s[6 + 3 * i];
        JpegFrameComponent& c = frame.Components[i];
        c = {field[0], field[1] >> 4, field[1] & 15, field[2]};
        if (c.Horizontal < 1 || c.Horizontal > kMaxSampling || c.Vertical < 1 ||
            c.Vertical > kMaxSampling || c.QuantTable >= kTableSlots) {
            return "a bad component in the frame header";
        }
        for (int j = 0; j < i; ++j) {
            if (frame.Components[j].Id == c.Id) return "two components with one id";
        }
    }
    return std::nullopt;
}

bool JpegMarkerWalk::StartOfImage() {
    m_at = 2;
    return m_window.ByteAt(0) == 0xFF && m_window.ByteAt(1) == kStartOfImage;
}

std::optional<std::string> JpegMarkerWalk::Next(JpegSegment& segment,
                                                bool (*wanted)(std::uint8_t)) {
    std::size_t at = m_at;
    while (true) {
        while (m_window.ByteAt(at) >= 0 && m_window.ByteAt(at) != 0xFF) ++at;
        while (m_window.ByteAt(at + 1) == 0xFF) ++at;  // fill bytes
        if (m_window.ByteAt(at + 1) < 0) return "Premature end of JPEG file";
        const auto marker = static_cast<std::uint8_t>(m_window.ByteAt(at + 1));
        if (marker != kTemporary && !IsRestartMarker(marker)) break;
        at += 2;
    }
    segment.Marker = static_cast<std::uint8_t>(m_window.ByteAt(at + 1));
    segment.Fields = {};
    segment.End = m_at = at + 2;
    if (segment.Marker == kStartOfImage || segment.Marker == kEndOfImage ||
        segment.Marker == kStuffedZero) {
        return std::nullopt;
    }
    const std::span<const std::uint8_t> head = m_window.From(at + 2, 2);
    if (head.size() < 2) return "Premature end of JPEG file";
    const std::size_t length = std::size_t{head[0]} << 8 | head[1];
    if (length < 2) return "a marker segment of bad length";
    if (at + 2 + length > m_window.Size()) return "Premature end of JPEG file";
    if (wanted(segment.Marker)) {
        const std::span<const std::uint8_t> bytes = m_window.From(at + 4, length - 2);
        if (bytes.size() < length - 2) return "Premature end of JPEG file";
        m_fields.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length - 2));
        segment.Fields = m_fields;
    }
    segment.End = m_at = at + 2 + length;
    return std::nullopt;
}

std::optional<std::size_t> EndOfScanData(JpegWindow& window, std::size_t from) {
    std::size_t i = from;
    while (true) {
        const std::span<const std::uint8_t> bytes = window.From(i, 2);
        if (bytes.size() < 2) return std::nullopt;
        // memchr: the scans stepped over are most of the file.
        const void* found = std::memchr(bytes.data(), 0xFF, bytes.size() - 1);
        if (!found) {
            i += bytes.size() - 1;
            continue;
        }
        const auto offset =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes.data());
        const std::uint8_t next = bytes[offset + 1];
        if (next != 0x00 && next != 0xFF && !IsRestartMarker(next)) return i + offset;
        i += offset + 1;
    }
}

}  // namespace quillane
