// The EXIF orientation: read from a JPEG's APP1 block, then applied to the decoded pixels so
// a phone picture comes out the way viewers show it.

#include <cstring>

#include "platform/picture/PictureDecoding.h"

namespace quillane {
namespace {

constexpr char kExifHeader[] = "Exif\0\0";  // 6 bytes before the TIFF structure
constexpr std::size_t kExifHeaderSize = 6;
constexpr std::uint16_t kTiffMagic = 42;
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::size_t kIfdEntrySize = 12;

// Reads a TIFF structure whose offsets count from its first byte; every read is checked
// against what remains, and a failed read leaves the cursor failed for good.
class TiffCursor {
  public:
    explicit TiffCursor(std::span<const std::uint8_t> tiff) : m_tiff(tiff) {}

    bool ReadByteOrder() {
        if (!Has(2)) return Fail();
        if (m_tiff[0] == 'I' && m_tiff[1] == 'I') {
            m_bigEndian = false;
        } else if (m_tiff[0] == 'M' && m_tiff[1] == 'M') {
            m_bigEndian = true;
        } else {
            return Fail();
        }
        m_position = 2;
        return true;
    }
    bool Seek(std::uint32_t offset) {
        if (offset > m_tiff.size()) return Fail();
        m_position = offset;
        return true;
    }
    bool Skip(std::size_t count) {
        if (!Has(count)) return Fail();
        m_position += count;
        return true;
    }
    std::uint16_t ReadU16() {
        if (!Has(2)) return Fail(), 0;
        const std::uint8_t* p = m_tiff.data() + m_position;
        m_position += 2;
        return m_bigEndian ? static_cast<std::uint16_t>(p[0] << 8 | p[1])
                           : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
    }
    std::uint32_t ReadU32() {
        const std::uint32_t first = ReadU16();
        const std::uint32_t second = ReadU16();
        return m_bigEndian ? (first << 16 | second) : (second << 16 | first);
    }
    bool Good() const { return m_good; }

  private:
    bool Has(std::size_t count) const {
        return m_good && m_position <= m_tiff.size() && m_tiff.size() - m_position >= count;
    }
    bool Fail() {
        m_good = false;
        return false;
    }

    std::span<const std::uint8_t> m_tiff;
    std::size_t m_position = 0;
    bool m_bigEndian = false;
    bool m_good = true;
};

// Where the pixel at (x, y) of the upright picture lies in the stored one.
struct SourceMap {
    // source x = ax*x + bx*y + cx, source y = ay*x + by*y + cy
    std::ptrdiff_t ax, bx, cx, ay, by, cy;
};

SourceMap MapFor(int orientation, std::ptrdiff_t w, std::ptrdiff_t h) {
    switch (orientation) {
        case 2:
            return {-1, 0, w - 1, 0, 1, 0};  // mirrored left to right
        case 3:
            return {-1, 0, w - 1, 0, -1, h - 1};  // turned half round
        case 4:
            return {1, 0, 0, 0, -1, h - 1};  // mirrored top to bottom
        case 5:
            return {0, 1, 0, 1, 0, 0};  // transposed
        case 6:
            return {0, 1, 0, -1, 0, h - 1};  // needs a quarter turn clockwise
        case 7:
            return {0, -1, w - 1, -1, 0, h - 1};  // transversed
        case 8:
            return {0, -1, w - 1, 1, 0, 0};  // needs a quarter turn anticlockwise
        default:
            return {1, 0, 0, 0, 1, 0};
    }
}

}  // namespace

int ExifOrientation(std::span<const std::uint8_t> app1Payload) {
    if (app1Payload.size() < kExifHeaderSize ||
        std::memcmp(app1Payload.data(), kExifHeader, kExifHeaderSize) != 0) {
        return 1;
    }
    TiffCursor cursor(app1Payload.subspan(kExifHeaderSize));
    if (!cursor.ReadByteOrder() || cursor.ReadU16() != kTiffMagic) return 1;
    const std::uint32_t ifd0 = cursor.ReadU32();
    if (!cursor.Good() || !cursor.Seek(ifd0)) return 1;
    const std::uint16_t entries = cursor.ReadU16();
    for (std::uint16_t i = 0; i < entries && cursor.Good(); ++i) {
        const std::uint16_t tag = cursor.ReadU16();
        const std::uint16_t type = cursor.ReadU16();
        const std::uint32_t count = cursor.ReadU32();
        if (tag != kOrientationTag) {
            cursor.Skip(kIfdEntrySize - 8);
            continue;
        }
        // A single SHORT sits left-aligned in the 4-byte value field.
        const std::uint16_t value = cursor.ReadU16();
        if (!cursor.Good() || type != kTypeShort || count != 1) return 1;
        return value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

PictureResult<BgrImage> ApplyOrientation(BgrImage stored, int orientation) {
    if (orientation <= 1 || orientation > 8) return stored;
    const int w = stored.Width();
    const int h = stored.Height();
    const bool swap = orientation >= 5;
    auto upright = AllocatePicture(swap ? h : w, swap ? w : h);
    if (!upright.Ok()) return upright;
    const SourceMap map = MapFor(orientation, w, h);
    const ConstBgrView from = stored.View();
    const BgrView to = upright.Value().View();
    for (int y = 0; y < to.Height; ++y) {
        std::uint8_t* out = to.Row(y);
        for (int x = 0; x < to.Width; ++x, out += 3) {
            const std::ptrdiff_t sx = map.ax * x + map.bx * y + map.cx;
            const std::ptrdiff_t sy = map.ay * x + map.by * y + map.cy;
            const std::uint8_t* in = from.Row(static_cast<int>(sy)) + sx * 3;
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
        }
    }
    return upright;
}

}  // namespace quillane
