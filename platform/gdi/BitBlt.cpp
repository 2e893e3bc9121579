// Bit-block transfers between memory device contexts: plain and nearest-neighbour stretched.

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiObjects.h"

namespace quillane {

using namespace gdi_detail;

namespace {

// A raster operation's truth table, for the operations that need no brush. The ternary code
// in bits 16..23 holds the result for each (pattern, source, destination) bit triple, at index
// pattern * 4 + source * 2 + destination; without a brush the pattern half must not matter.
struct RasterOp {
    std::uint8_t Code = 0;
    bool UsesSource = false;

    static std::optional<RasterOp> Parse(std::int32_t rop) {
        const auto value = static_cast<std::uint32_t>(rop);
        if ((value & 0xFF000000u) != 0) return std::nullopt;
        const auto code = static_cast<std::uint8_t>(value >> 16);
        if ((code >> 4) != (code & 0x0F)) return std::nullopt;  // needs a brush
        return RasterOp{code, ((code >> 2) & 3) != (code & 3)};
    }

    bool IsCopy() const { return Code == 0xCC; }

    std::uint8_t Apply(std::uint8_t s, std::uint8_t d) const {
        const auto mask = [this](int bit) -> std::uint8_t { return (Code >> bit) & 1 ? 0xFF : 0; };
        const auto ns = static_cast<std::uint8_t>(~s);
        const auto nd = static_cast<std::uint8_t>(~d);
        return static_cast<std::uint8_t>((ns & nd & mask(0)) | (ns & d & mask(1)) |
                                         (s & nd & mask(2)) | (s & d & mask(3)));
    }

    void Row(std::uint8_t* dest, const std::uint8_t* src, std::size_t bytes) const {
        if (IsCopy()) {
            std::memmove(dest, src, bytes);
            return;
        }
        for (std::size_t i = 0; i < bytes; ++i)
            dest[i] = Apply(src != nullptr ? src[i] : 0, dest[i]);
    }
};

// A private copy of a source rectangle, for transfers within one bitmap whose rectangles may
// overlap: reading from the copy makes the order of writing irrelevant.
struct Snapshot {
    std::vector<std::uint8_t> Bytes;
    ConstBgrView View;

    Snapshot(const BgrView& source, std::int64_t x, std::int64_t y, std::int64_t w,
             std::int64_t h) {
        const auto rowBytes = static_cast<std::size_t>(w) * 3;
        Bytes.resize(rowBytes * static_cast<std::size_t>(h));
        for (std::int64_t r = 0; r < h; ++r) {
            std::memcpy(Bytes.data() + static_cast<std::size_t>(r) * rowBytes,
                        source.Row(static_cast<int>(y + r)) + x * 3, rowBytes);
        }
        View = ConstBgrView(Bytes.data(), static_cast<int>(w), static_cast<int>(h),
                            static_cast<std::ptrdiff_t>(rowBytes));
    }
};

}  // namespace

bool BitBlt(std::int32_t hdcDest, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
            std::int32_t hdcSrc, std::int32_t x1, std::int32_t y1, std::int32_t rop) {
    BitmapObject* dest = SurfaceOf(hdcDest);
    const std::optional<RasterOp> op = RasterOp::Parse(rop);
    if (dest == nullptr || !op) return false;
    BitmapObject* src = op->UsesSource ? SurfaceOf(hdcSrc) : nullptr;
    if (op->UsesSource && src == nullptr) return false;

    // Clip in 64 bits: corners near the int32 limits must not wrap.
    std::int64_t dx = x, dy = y, w = cx, h = cy, sx = x1, sy = y1;
    if (dx < 0) w += dx, sx -= dx, dx = 0;
    if (dy < 0) h += dy, sy -= dy, dy = 0;
    if (src != nullptr) {
        if (sx < 0) w += sx, dx -= sx, sx = 0;
        if (sy < 0) h += sy, dy -= sy, sy = 0;
        w = std::min<std::int64_t>(w, src->Width - sx);
        h = std::min<std::int64_t>(h, src->Height - sy);
    }
    w = std::min<std::int64_t>(w, dest->Width - dx);
    h = std::min<std::int64_t>(h, dest->Height - dy);
    if (w <= 0 || h <= 0) return true;

    const BgrView destView = dest->TopDownView();
    std::optional<Snapshot> snapshot;
    ConstBgrView srcView;
    if (src != nullptr) {
        srcView = src->TopDownView();
        if (src == dest) {
            snapshot.emplace(destView, sx, sy, w, h);
            srcView = snapshot->View;
            sx = sy = 0;
        }
    }
    const auto rowBytes = static_cast<std::size_t>(w) * 3;
    for (std::int64_t r = 0; r < h; ++r) {
        std::uint8_t* destRow = destView.Row(static_cast<int>(dy + r)) + dx * 3;
        const std::uint8_t* srcRow =
            src != nullptr ? srcView.Row(static_cast<int>(sy + r)) + sx * 3 : nullptr;
        op->Row(destRow, srcRow, rowBytes);
    }
    return true;
}

}  // namespace quillane
