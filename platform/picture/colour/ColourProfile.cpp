// Finding a picture's colour profile in the file's own structures, every read bounded by the
// bytes there are.

#include "platform/picture/colour/ColourProfile.h"

#include <array>
#include <cstdlib>
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

std::shared_ptr<const ColourTransform> BmpColourTransform(const BmpHeader& header,
                                                          std::span<const std::uint8_t> bytes) {
    switch (header.ColourSpace()) {
        case BmpColourSpace::Srgb:
            return nullptr;
        case BmpColourSpace::Calibrated: {
            CalibratedRgb rgb{};
            for (int i = 0; i < 9; ++i) {  // FXPT2DOT30 values
                rgb.Xyz[i / 3][i % 3] = header.bV5Endpoints[i] / double(1u << 30);
            }
            for (int i = 0; i < 3; ++i) {  // 16.16 fixed point
                rgb.Gamma[i] = header.bV5Gamma[i] / 65536.0;
            }
            return CalibratedRgbToSrgb(rgb);
        }
        case BmpColourSpace::EmbeddedProfile: {
            const std::uint64_t offset = std::uint64_t{kBmpFileHeaderSize} + header.bV5ProfileData;
            const std::uint64_t size = header.bV5ProfileSize;
            if (offset > bytes.size() || size > bytes.size() - offset) return nullptr;
            return TransformToSrgb(bytes.subspan(offset, size), PixelLayout::Bgr);
        }
    }
    std::abort();
}

}  // namespace quillane
