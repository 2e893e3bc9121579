// Finding a picture's colour profile in the file's own structures, every read bounded by the
// bytes there are.

#include "platform/picture/colour/ColourProfile.h"

#include <array>
#include <cstring>

#include "platform/picture/exif/TiffCursor.h"

namespace quillane {
namespace {

constexpr char kIccSignature[] = "ICC_PROFILE";                  // with its NUL: 12 bytes
constexpr std::size_t kIccChunkHead = sizeof kIccSignature + 2;  // then sequence number, count
constexpr std::size_t kIccHeaderSize = 128;  // no profile is shorter than its header

constexpr std::uint16_t kExifIfdTag = 0x8769;
constexpr std::uint16_t kColorSpaceTag = 0xA001;
constexpr std::uint16_t kUncalibrated = 0xFFFF;
constexpr std::uint16_t kInteropIfdTag = 0xA005;
constexpr std::uint16_t kInteropIndexTag = 0x0001;

// Leaves the cursor at the value field of the tag's entry in the IFD at ifd.
bool FindTag(TiffCursor& cursor, std::uint32_t ifd, std::uint16_t wanted, std::uint32_t& count) {
    if (!cursor.Seek(ifd)) return false;
    const std::uint16_t entries = cursor.ReadU16();
    for (std::uint16_t i = 0; i < entries && cursor.Good(); ++i) {
        const std::uint16_t tag = cursor.ReadU16();
        cursor.ReadU16();  // type: the counts and values below are checked instead
        count = cursor.ReadU32();
        if (tag == wanted) return cursor.Good();
        cursor.Skip(kIfdEntrySize - 8);
    }
    return false;
}

// The IFD a pointer tag of the IFD at ifd leads to.
std::optional<std::uint32_t> SubIfd(TiffCursor& cursor, std::uint32_t ifd, std::uint16_t tag) {
    std::uint32_t count = 0;
    if (!FindTag(cursor, ifd, tag, count) || count != 1) return std::nullopt;
    const std::uint32_t offset = cursor.ReadU32();
    if (!cursor.Good()) return std::nullopt;
    return offset;
}

constexpr std::size_t kInfoAt = 14;  // the info header follows the file header
constexpr std::uint32_t kV4HeaderSize = 108;
constexpr std::uint32_t kV5HeaderSize = 124;
constexpr std::uint32_t kCalibratedRgb = 0;             // LCS_CALIBRATED_RGB
constexpr std::uint32_t kProfileEmbedded = 0x4D424544;  // 'MBED'

std::uint32_t U32At(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> IccFromJpegChunks(
    std::span<const std::span<const std::uint8_t>> app2Payloads) {
    std::array<std::span<const std::uint8_t>, 256> chunks{};
    int declared = 0;
    bool any = false;
    for (const std::span<const std::uint8_t> payload : app2Payloads) {
        if (payload.size() < kIccChunkHead ||
            std::memcmp(payload.data(), kIccSignature, sizeof kIccSignature) != 0) {
            continue;  // another APP2 user (FlashPix, MPF)
        }
        const int sequence = payload[sizeof kIccSignature];
        const int count = payload[sizeof kIccSignature + 1];
        if (any && count != declared) return std::nullopt;
        if (sequence < 1 || sequence > count || !chunks[sequence].empty()) return std::nullopt;
        declared = count;
        any = true;
        chunks[sequence] = payload.subspan(kIccChunkHead);
        if (chunks[sequence].empty()) return std::nullopt;
    }
    if (!any) return std::nullopt;
    std::size_t total = 0;
    for (int i = 1; i <= declared; ++i) {
        if (chunks[i].empty()) return std::nullopt;
        total += chunks[i].size();
    }
    if (total < kIccHeaderSize) return std::nullopt;
    std::vector<std::uint8_t> profile;
    profile.reserve(total);
    for (int i = 1; i <= declared; ++i)
        profile.insert(profile.end(), chunks[i].begin(), chunks[i].end());
    return profile;
}

bool ExifSaysAdobeRgb(std::span<const std::uint8_t> app1Payload) {
    TiffCursor cursor(ExifTiff(app1Payload));
    if (!cursor.StartAtFirstIfd()) return false;
    const auto ifd0 = static_cast<std::uint32_t>(cursor.Position());
    const std::optional<std::uint32_t> exif = SubIfd(cursor, ifd0, kExifIfdTag);
    if (!exif) return false;
    std::uint32_t count = 0;
    if (!FindTag(cursor, *exif, kColorSpaceTag, count) || count != 1 ||
        cursor.ReadU16() != kUncalibrated || !cursor.Good()) {
        return false;
    }
    const std::optional<std::uint32_t> interop = SubIfd(cursor, *exif, kInteropIfdTag);
    // "R03" and its NUL fit in the value field itself.
    if (!interop || !FindTag(cursor, *interop, kInteropIndexTag, count) || count != 4) return false;
    const char index[3] = {char(cursor.ReadU8()), char(cursor.ReadU8()), char(cursor.ReadU8())};
    return cursor.Good() && std::memcmp(index, "R03", 3) == 0;
}

std::shared_ptr<const ColourTransform> BmpColourTransform(std::span<const std::uint8_t> b) {
    if (b.size() < kInfoAt + kV4HeaderSize || b[0] != 'B' || b[1] != 'M') return nullptr;
    const std::uint32_t bV5Size = U32At(b, kInfoAt);
    if (bV5Size != kV4HeaderSize && bV5Size != kV5HeaderSize) return nullptr;
    const std::uint32_t bV5CSType = U32At(b, kInfoAt + 56);
    if (bV5CSType == kCalibratedRgb) {
        CalibratedRgb rgb{};
        for (int i = 0; i < 9; ++i) {  // bV5Endpoints: FXPT2DOT30 values, red, green, blue XYZ
            rgb.Xyz[i / 3][i % 3] = U32At(b, kInfoAt + 60 + 4 * i) / double(1u << 30);
        }
        for (int i = 0; i < 3; ++i) {  // bV5GammaRed..Blue: 16.16 fixed point
            rgb.Gamma[i] = U32At(b, kInfoAt + 96 + 4 * i) / 65536.0;
        }
        return CalibratedRgbToSrgb(rgb);
    }
    if (bV5CSType != kProfileEmbedded || bV5Size != kV5HeaderSize ||
        b.size() < kInfoAt + kV5HeaderSize) {
        return nullptr;  // sRGB, the system's colour space, or a profile in another file
    }
    // bV5ProfileData counts from the start of the info header.
    const std::uint64_t offset = std::uint64_t{kInfoAt} + U32At(b, kInfoAt + 112);
    const std::uint64_t size = U32At(b, kInfoAt + 116);
    if (offset > b.size() || size > b.size() - offset) return nullptr;
    return TransformToSrgb(b.subspan(offset, size), PixelLayout::Bgr);
}

}  // namespace quillane
