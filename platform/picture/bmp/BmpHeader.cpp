#include "platform/picture/bmp/BmpHeader.h"

#include <algorithm>
#include <climits>
#include <optional>

namespace quillane {
namespace {

constexpr std::uint32_t kCoreHeaderSize = 12;     // BITMAPCOREHEADER (OS/2 1.x)
constexpr std::uint32_t kOs2ShortestHeader = 16;  // OS/2 2.x, cut after the bit count
constexpr std::uint32_t kInfoHeaderSize = 40;     // BITMAPINFOHEADER
constexpr std::uint32_t kV2HeaderSize = 52;       // BITMAPV2INFOHEADER: red, green, blue masks
constexpr std::uint32_t kV3HeaderSize = 56;       // BITMAPV3INFOHEADER: and the alpha mask
constexpr std::uint32_t kOs2HeaderSize = 64;      // OS/2 2.x, whole
constexpr std::uint32_t kV4HeaderSize = 108;      // BITMAPV4HEADER
constexpr std::uint32_t kV5HeaderSize = 124;      // BITMAPV5HEADER, the largest
constexpr std::uint32_t kMaskBytes = 12;          // three masks after an info header
constexpr std::uint32_t kMaxQtPalette = 256;      // the most entries Qt's reader takes
constexpr std::uint32_t kCalibratedRgb = 0;       // LCS_CALIBRATED_RGB
constexpr std::uint32_t kProfileEmbedded = 0x4D424544;  // PROFILE_EMBEDDED, 'MBED'

// Header sizes with an info header's fields: Windows' (40, then 52 and 56 with masks, 108 and
// 124), or OS/2's second header, which may stop after any field from the bit count on (16 to
// 64); the fields it leaves out are 0.
bool InfoHeaderSize(std::uint32_t size) {
    return (size >= kOs2ShortestHeader && size <= kOs2HeaderSize) || size == kV4HeaderSize ||
           size == kV5HeaderSize;
}

// Where BI_BITFIELDS has its masks: Windows' headers. In OS/2's the same compression number
// means Huffman coding, and the bytes after the info fields hold other things.
bool MasksInOrAfterHeader(std::uint32_t size) {
    return size == kInfoHeaderSize || size == kV2HeaderSize || size == kV3HeaderSize ||
           size == kV4HeaderSize || size == kV5HeaderSize;
}

// The headers Qt's reader takes run-length pictures with.
bool QtReadsRunLengthWith(std::uint32_t size) {
    return size == kInfoHeaderSize || size == kOs2HeaderSize || size == kV4HeaderSize ||
           size == kV5HeaderSize;
}

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

// Why the colour masks cannot describe a pixel of `bits`, empty when they can: each one's bits
// contiguous (a mask may be empty), inside the pixel, and apart from the others'.
std::optional<std::string> BadMasks(const BmpHeader& header) {
    const std::uint32_t masks[] = {header.bV5RedMask, header.bV5GreenMask, header.bV5BlueMask};
    const std::uint64_t pixel = (std::uint64_t{1} << header.biBitCount) - 1;
    std::uint32_t seen = 0;
    for (const std::uint32_t mask : masks) {
        const std::uint32_t low = mask & (~mask + 1);  // its lowest bit
        if (mask != 0 && ((mask + low) & mask) != 0) return "a colour mask with gaps";
        if (mask > pixel) return "a colour mask past the pixel's bits";
        if (mask & seen) return "colour masks that overlap";
        seen |= mask;
    }
    return std::nullopt;
}

// An info header's fields after biSize, read from its own bytes padded with zeros to a V5's
// length, so that a shorter header reads as 0 where it stops. The bytes are known to be there.
void ReadInfoFields(std::span<const std::uint8_t> bytes, BmpHeader& header, std::uint16_t& planes,
                    std::uint32_t (&masks)[4]) {
    std::array<std::uint8_t, kV5HeaderSize - 4> fields{};
    std::copy_n(bytes.begin() + kBmpFileHeaderSize + 4, header.biSize - 4, fields.begin());
    BmpCursor f(fields, 0);
    header.biWidth = static_cast<std::int32_t>(f.U32());
    header.biHeight = static_cast<std::int32_t>(f.U32());
    planes = f.U16();
    header.biBitCount = f.U16();
    header.biCompression = f.U32();
    f.Skip(12);  // biSizeImage (often 0 or wrong), the resolution
    header.biClrUsed = f.U32();
    f.Skip(4);  // biClrImportant
    for (std::uint32_t& mask : masks) mask = f.U32();
    if (header.biSize != kV4HeaderSize && header.biSize != kV5HeaderSize) return;
    header.bV5CSType = f.U32();
    for (std::uint32_t& endpoint : header.bV5Endpoints) endpoint = f.U32();
    for (std::uint32_t& gamma : header.bV5Gamma) gamma = f.U32();
    f.Skip(4);  // bV5Intent
    header.bV5ProfileData = f.U32();
    header.bV5ProfileSize = f.U32();
}

}  // namespace

PictureFailure DamagedBmp(const std::string& why) {
    return {ErrorNumber::InvalidPicture, "is a damaged BMP picture (" + why + ")"};
}

PictureFailure UnsupportedBmp(const std::string& what) {
    return {ErrorNumber::InvalidPicture, "is an unsupported BMP variant (" + what + ")"};
}

bool BmpHeader::Core() const {
    return biSize == kCoreHeaderSize;
}

int BmpHeader::PaletteEntries() const {
    if (biBitCount > 8) return 0;
    const int named = 1 << biBitCount;
    // A longer palette is allowed; its entries past what a pixel can name are never used.
    if (Core() || biClrUsed == 0 || biClrUsed > std::uint32_t(named)) return named;
    return static_cast<int>(biClrUsed);
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
    if (header.biSize != kCoreHeaderSize && !InfoHeaderSize(header.biSize)) {
        return DamagedBmp("header size " + std::to_string(header.biSize));
    }
    if (!cursor.Has(header.biSize - 4)) return DamagedBmp("the header ends early");
    const bool core = header.Core();
    std::uint16_t planes = 0;
    std::uint32_t masks[4] = {};  // what lies where a Windows header keeps them
    if (core) {
        header.biWidth = cursor.U16();
        header.biHeight = cursor.U16();
        planes = cursor.U16();
        header.biBitCount = cursor.U16();
        header.biCompression = BI_RGB;
    } else {
        ReadInfoFields(bytes, header, planes, masks);
        cursor.Skip(header.biSize - 4);
    }
    if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT_MIN) {
        return DamagedBmp("size " + std::to_string(header.biWidth) + " x " +
                          std::to_string(header.biHeight));
    }
    if (planes != 1) return DamagedBmp(std::to_string(planes) + " planes");
    // JPEG or PNG inside, CMYK, OS/2's 24-bit run-length coding and anything newer.
    if (header.biCompression > BI_BITFIELDS) {
        return UnsupportedBmp("compression " + std::to_string(header.biCompression));
    }
    if (header.biCompression == BI_BITFIELDS && !MasksInOrAfterHeader(header.biSize)) {
        return UnsupportedBmp("Huffman-coded pixels, from OS/2");
    }
    if (!DepthFits(header.biCompression, header.biBitCount, core)) {
        return DamagedBmp(std::to_string(header.biBitCount) + " bits a pixel with compression " +
                          std::to_string(header.biCompression));
    }
    if (header.biCompression == BI_BITFIELDS) {
        if (header.biSize == kInfoHeaderSize) {
            if (!cursor.Has(kMaskBytes)) return DamagedBmp("the header ends early");
            for (int i = 0; i < 3; ++i) masks[i] = cursor.U32();
        }
        header.bV5RedMask = masks[0];
        header.bV5GreenMask = masks[1];
        header.bV5BlueMask = masks[2];
        header.bV5AlphaMask = header.biSize >= kV3HeaderSize ? masks[3] : 0;
        if (auto bad = BadMasks(header)) return DamagedBmp(*bad);
    }
    if (header.RunLengthEncoded() && !QtReadsRunLengthWith(header.biSize)) {
        return UnsupportedBmp("run-length data with a " + std::to_string(header.biSize) +
                              "-byte header");
    }
    if (header.RunLengthEncoded() && header.biClrUsed > kMaxQtPalette) {
        return UnsupportedBmp("run-length data with a palette of " +
                              std::to_string(header.biClrUsed) + " colours");
    }
    return header;
}

}  // namespace quillane
