#include "platform/picture/bmp/BmpHeader.h"

#include <climits>

namespace quillane {
namespace {

constexpr std::uint32_t kCoreHeaderSize = 12;           // BITMAPCOREHEADER (OS/2 1.x)
constexpr std::uint32_t kInfoHeaderSize = 40;           // BITMAPINFOHEADER
constexpr std::uint32_t kV4HeaderSize = 108;            // BITMAPV4HEADER
constexpr std::uint32_t kV5HeaderSize = 124;            // BITMAPV5HEADER, the largest
constexpr std::uint32_t kMaskBytes = 12;                // three masks after an info header
constexpr std::size_t kInfoToColourFields = 20 + 16;    // biSizeImage..biClrImportant, the masks
constexpr std::uint32_t kCalibratedRgb = 0;             // LCS_CALIBRATED_RGB
constexpr std::uint32_t kProfileEmbedded = 0x4D424544;  // PROFILE_EMBEDDED, 'MBED'

bool DepthFits(std::uint32_t compression, int bits, bool core) {
    if (core) return bits == 1 || bits == 4 || bits == 8 || bits == 24;
    switch (compression) {
        case BI_RGB:
            return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
        case BI_RLE8:
            return bits == 8;
        case BI_RLE4:
            return bits == 4;
        case BI_BITFIELDS:
            return bits == 16 || bits == 32;
        default:
            return false;
    }
}

// The V4/V5 fields after the masks: the colour space, its endpoints and gammas, and a V5's
// profile. The header's bytes are known to be there.
void ReadColourFields(BmpCursor& cursor, BmpHeader& header) {
    cursor.Skip(kInfoToColourFields);
    header.bV5CSType = cursor.U32();
    for (std::uint32_t& endpoint : header.bV5Endpoints) endpoint = cursor.U32();
    for (std::uint32_t& gamma : header.bV5Gamma) gamma = cursor.U32();
    if (header.biSize != kV5HeaderSize) return;
    cursor.Skip(4);  // bV5Intent
    header.bV5ProfileData = cursor.U32();
    header.bV5ProfileSize = cursor.U32();
}

}  // namespace

PictureFailure DamagedBmp(const std::string& why) {
    return {ErrorNumber::InvalidPicture, "is a damaged BMP picture (" + why + ")"};
}

bool BmpHeader::Core() const {
    return biSize == kCoreHeaderSize;
}

std::size_t BmpHeader::HeadersEnd() const {
    const bool masks = biSize == kInfoHeaderSize && biCompression == BI_BITFIELDS;
    return kBmpFileHeaderSize + biSize + (masks ? kMaskBytes : 0);
}

BmpColourSpace BmpHeader::ColourSpace() const {
    if (biSize != kV4HeaderSize && biSize != kV5HeaderSize) return BmpColourSpace::Srgb;
    if (bV5CSType == kCalibratedRgb) return BmpColourSpace::Calibrated;
    if (bV5CSType == kProfileEmbedded && biSize == kV5HeaderSize) {
        return BmpColourSpace::EmbeddedProfile;
    }
    // sRGB, the system's colour space, or a profile in another file.
    return BmpColourSpace::Srgb;
}

PictureResult<BmpHeader> ReadBmpHeader(std::span<const std::uint8_t> bytes) {
    BmpCursor cursor(bytes, 2);  // after "BM"
    if (!cursor.Has(kBmpFileHeaderSize - 2 + 4)) return DamagedBmp("the header ends early");
    cursor.Skip(8);  // bfSize (often wrong, the measured length is used), bfReserved1/2
    BmpHeader header;
    header.bfOffBits = cursor.U32();
    header.biSize = cursor.U32();
    if (header.biSize < kCoreHeaderSize || header.biSize > kV5HeaderSize ||
        (header.biSize > kCoreHeaderSize && header.biSize < kInfoHeaderSize)) {
        return DamagedBmp("header size " + std::to_string(header.biSize));
    }
    if (!cursor.Has(header.biSize - 4)) return DamagedBmp("the header ends early");
    const bool core = header.Core();
    if (core) {
        header.biWidth = cursor.U16();
        header.biHeight = cursor.U16();
    } else {
        header.biWidth = static_cast<std::int32_t>(cursor.U32());
        header.biHeight = static_cast<std::int32_t>(cursor.U32());
    }
    const std::uint16_t planes = cursor.U16();
    header.biBitCount = cursor.U16();
    header.biCompression = core ? BI_RGB : cursor.U32();
    if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT_MIN) {
        return DamagedBmp("size " + std::to_string(header.biWidth) + " x " +
                          std::to_string(header.biHeight));
    }
    if (planes != 1) return DamagedBmp(std::to_string(planes) + " planes");
    if (!DepthFits(header.biCompression, header.biBitCount, core)) {
        return DamagedBmp(std::to_string(header.biBitCount) + " bits a pixel with compression " +
                          std::to_string(header.biCompression));
    }
    if (header.biSize == kV4HeaderSize || header.biSize == kV5HeaderSize) {
        ReadColourFields(cursor, header);
    }
    return header;
}

}  // namespace quillane
