#pragma once
// The TIFF structure inside a JPEG's EXIF block, read with every access checked (private to
// platform/picture).

#include <cstdint>
#include <cstring>
#include <span>

namespace quillane {

inline constexpr std::uint16_t kTiffMagic = 42;
inline constexpr std::uint16_t kTypeShort = 3;
inline constexpr std::size_t kIfdEntrySize = 12;

// The TIFF structure of an APP1 payload (after its length); empty when it is no EXIF block.
inline std::span<const std::uint8_t> ExifTiff(std::span<const std::uint8_t> app1Payload) {
    constexpr std::size_t kExifHeaderSize = 6;  // "Exif\0\0"
    if (app1Payload.size() < kExifHeaderSize ||
        std::memcmp(app1Payload.data(), "Exif\0\0", kExifHeaderSize) != 0) {
        return {};
    }
    return app1Payload.subspan(kExifHeaderSize);
}

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
    std::uint8_t ReadU8() {
        if (!Has(1)) return Fail(), 0;
        return m_tiff[m_position++];
    }
    bool Good() const { return m_good; }
    std::size_t Position() const { return m_position; }
    // Reads the byte order, the magic number and the first IFD's offset, and goes there.
    bool StartAtFirstIfd() {
        if (!ReadByteOrder() || ReadU16() != kTiffMagic) return Fail();
        const std::uint32_t ifd0 = ReadU32();
        return Good() && Seek(ifd0);
    }

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

}  // namespace quillane
