// Which bytes of a progressive JPEG a decode shrunk by eight needs. Such a decode computes every
// 8x8 block's single output pixel from the block's DC coefficient alone when all components
// are sampled alike, so the scans that carry only AC coefficients cannot change it; skipping
// them saves most of the entropy decoding of a large progressive photograph.

#include <cstddef>

#include "platform/picture/PictureDecoding.h"

namespace quillane {
namespace {

constexpr std::uint8_t kProgressiveHuffmanFrame = 0xC2;
constexpr std::uint8_t kStartOfScan = 0xDA;
constexpr std::uint8_t kEndOfImage = 0xD9;

bool IsRestart(std::uint8_t marker) {
    return marker >= 0xD0 && marker <= 0xD7;
}

bool IsFrame(std::uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Where the entropy-coded data that starts at `from` ends: the first marker that is neither a
// stuffed zero nor a restart. Empty when the bytes end first.
std::optional<std::size_t> EndOfScanData(std::span<const std::uint8_t> b, std::size_t from) {
    for (std::size_t i = from; i + 1 < b.size(); ++i) {
        if (b[i] != 0xFF) continue;
        const std::uint8_t next = b[i + 1];
        if (next == 0x00 || next == 0xFF || IsRestart(next)) continue;
        return i;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<std::span<const std::uint8_t>>> JpegWithoutAcScans(
    std::span<const std::uint8_t> b) {
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) return std::nullopt;
    std::vector<std::span<const std::uint8_t>> kept;
    std::size_t keptFrom = 0;
    bool sampledAlike = false;
    bool skipped = false;
    std::size_t at = 2;
    while (at + 1 < b.size()) {
        if (b[at] != 0xFF) return std::nullopt;
        const std::uint8_t marker = b[at + 1];
        if (marker == 0xFF) {  // fill byte before a marker
            ++at;
            continue;
        }
        if (marker == kEndOfImage) {
            if (!sampledAlike || !skipped) return std::nullopt;
            kept.push_back(b.subspan(keptFrom, at + 2 - keptFrom));
            return kept;
        }
        if (marker == 0x01 || IsRestart(marker)) {  // no length
            at += 2;
            continue;
        }
        if (at + 4 > b.size()) return std::nullopt;
        const std::size_t length = std::size_t{b[at + 2]} << 8 | b[at + 3];
        if (length < 2 || at + 2 + length > b.size()) return std::nullopt;
        if (IsFrame(marker)) {
            // Only a single progressive Huffman frame whose components are all sampled alike.
            if (marker != kProgressiveHuffmanFrame || sampledAlike) return std::nullopt;
            const std::size_t components = length >= 8 ? b[at + 9] : 0;
            if (components == 0 || length != 8 + 3 * components) return std::nullopt;
            for (std::size_t c = 1; c < components; ++c) {
                if (b[at + 11 + 3 * c] != b[at + 11]) return std::nullopt;
            }
            sampledAlike = true;
        }
        if (marker == kStartOfScan) {
            if (!sampledAlike) return std::nullopt;
            const std::size_t components = length >= 3 ? b[at + 4] : 0;
            if (components == 0 || length != 6 + 2 * components) return std::nullopt;
            const std::uint8_t spectralStart = b[at + 5 + 2 * components];
            const std::optional<std::size_t> end = EndOfScanData(b, at + 2 + length);
            if (!end) return std::nullopt;
            if (spectralStart != 0) {
                kept.push_back(b.subspan(keptFrom, at - keptFrom));
                keptFrom = *end;
                skipped = true;
            }
            at = *end;
            continue;
        }
        at += 2 + length;
    }
    return std::nullopt;  // no end of image: the whole file is decoded and found short
}

}  // namespace quillane
