#include "platform/picture/exif/Orientation.h"

#include "platform/picture/exif/TiffCursor.h"

namespace quillane {
namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;

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
    TiffCursor cursor(ExifTiff(app1Payload));
    if (!cursor.StartAtFirstIfd()) return 1;
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

int FirstExifOrientation(std::span<const std::span<const std::uint8_t>> app1Payloads) {
    for (const std::span<const std::uint8_t> payload : app1Payloads) {
        const int orientation = ExifOrientation(payload);
        if (orientation != 1) return orientation;
    }
    return 1;
}

PictureResult<BgrImage> ApplyOrientation(BgrImage stored, int orientation) {
    if (orientation <= 1 || orientation > 8) return stored;
    const int w = stored.Width();
    const int h = stored.Height();
    const bool swap = OrientationSwapsSides(orientation);
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
