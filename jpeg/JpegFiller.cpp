#include "jpeg/JpegFiller.h"

#include <cerrno>
#include <cstddef>
#include <vector>

#include "platform/ijl/AtomicFile.h"

namespace quillane {

namespace {

constexpr std::uint8_t kMarker = 0xFF;
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kJfifBlock = 0xE0;  // APP0: must follow the start marker directly
constexpr std::uint8_t kComment = 0xFE;
constexpr std::int64_t kSegmentOverhead = 4;          // the marker and the 16-bit length
constexpr std::int64_t kLargestSegment = 2 + 0xFFFF;  // the length counts itself, not the marker
constexpr std::uint8_t kFillerByte = ' ';

// Where filler may go: after the start marker and the JFIF block that must come next.
std::size_t FillerPlace(std::span<const std::uint8_t> jpeg) {
    std::size_t at = 2;
    if (jpeg.size() >= at + 4 && jpeg[at] == kMarker && jpeg[at + 1] == kJfifBlock) {
        at += 2 + (std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
    }
    return at <= jpeg.size() ? at : jpeg.size();
}

// One piece of filler of `size` bytes: a comment segment, or fill bytes when it is too small.
void MakePiece(std::int64_t size, std::vector<std::uint8_t>& piece) {
    if (size < kSegmentOverhead) {
        piece.assign(static_cast<std::size_t>(size), kMarker);
        return;
    }
    const auto length = static_cast<std::uint16_t>(size - 2);
    piece.assign({kMarker, kComment, std::uint8_t(length >> 8), std::uint8_t(length)});
    piece.resize(static_cast<std::size_t>(size), kFillerByte);
}

}  // namespace

int WriteJpegWithFiller(const std::string& path, std::span<const std::uint8_t> jpeg,
                        std::int64_t filler) {
    if (jpeg.size() < 2 || jpeg[0] != kMarker || jpeg[1] != kStartOfImage || filler < 0) {
        return EINVAL;
    }
    AtomicFile file;  // removes its temporary file on every early return
    if (const int error = file.Open(path)) return error;
    const std::size_t place = FillerPlace(jpeg);
    if (const int error = file.Write(jpeg.data(), place)) return error;
    // As few segments as can hold it, sharing it evenly, so none is shorter than a segment.
    const std::int64_t segments = (filler + kLargestSegment - 1) / kLargestSegment;
    std::vector<std::uint8_t> piece;
    for (std::int64_t k = 0; k < segments; ++k) {
        MakePiece(filler / segments + (k < filler % segments ? 1 : 0), piece);
        if (const int error = file.Write(piece.data(), piece.size())) return error;
    }
    if (const int error = file.Write(jpeg.data() + place, jpeg.size() - place)) return error;
    return file.Commit();
}

}  // namespace quillane
