// How much memory decoding a picture will hold, judged from the start of its file, so the
// helper thread that decodes ahead can keep out of the way of a large picture.

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "platform/decodeahead/DecodeAhead.h"
#include "platform/picture/FileSnapshot.h"
#include "platform/picture/PictureLimits.h"
#include "platform/picture/bmp/BmpHeader.h"
#include "platform/picture/exif/Orientation.h"
#include "platform/picture/jpeg/JpegSource.h"

namespace quillane {
namespace {

// Enough for the headers of any ordinary file: EXIF, ICC and XMP blocks come before the frame
// header and are rarely longer together.
constexpr std::size_t kPeekBytes = std::size_t{256} << 10;
constexpr std::int64_t kCoefficientBlockBytes = 64 * 2;  // one 8x8 block of 16-bit values
// Our own reader's share of a block. Shrunk by eight: its 16-bit DC value, then its one sample.
// Shrunk by four: its DC value and its 2x2 samples, and, for the one component read at a time,
// the 24 AC coefficients the 2x2 inverse DCT reads and a bit per coefficient for the refinement
// scans.
constexpr std::int64_t kDcBlockBytes = 2 + 1;
constexpr std::int64_t kQuarterBlockBytes = 2 + 4;
constexpr std::int64_t kQuarterHeldBytes = 24 * 2 + 64 / 8;
// Rows libjpeg itself keeps while it hands out rows: a row group of every component, and the
// context rows of its smooth upsampling.
constexpr std::int64_t kDecoderRows = 48;
// What Little CMS holds for a picture with a colour profile beyond the profile itself (read once
// more when it is put together, once when lcms parses it): its optimised tables, at most a
// 17-point CMYK or 33-point RGB grid of 16-bit values, well below this.
constexpr std::int64_t kColourTransformBytes = std::int64_t{1} << 20;
constexpr char kIccSignature[] = "ICC_PROFILE";

struct JpegFrame {
    int Width = 0, Height = 0;
    bool WholeImageBuffer = false;  // progressive or multi-scan: libjpeg keeps every coefficient
    bool DcReadable = false;        // progressive Huffman-coded 8-bit: our own reader's
    int Components = 0;
    std::array<int, 4> H{}, V{};
    int Orientation = 1;            // from an EXIF block before the frame header, when one is there
    std::int64_t ProfileBytes = 0;  // ICC chunks before the frame header
};

std::optional<JpegFrame> ReadFrame(const std::vector<std::uint8_t>& b) {
    std::size_t at = 2;  // after SOI
    int orientation = 1;
    std::int64_t profileBytes = 0;
    while (at + 4 <= b.size()) {
        if (b[at] != 0xFF) return std::nullopt;
        const std::uint8_t marker = b[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
            at += 2;
            continue;
        }
        const std::size_t length = std::size_t{b[at + 2]} << 8 | b[at + 3];
        if (marker == 0xDA || marker == 0xD9) return std::nullopt;  // scan before any frame
        if (marker == 0xE1 && length >= 2 && at + 2 + length <= b.size() && orientation == 1) {
            orientation = ExifOrientation({b.data() + at + 4, length - 2});
        }
        if (marker == 0xE2 && length >= 2 + sizeof kIccSignature && at + 2 + length <= b.size() &&
            std::memcmp(b.data() + at + 4, kIccSignature, sizeof kIccSignature) == 0) {
            profileBytes += static_cast<std::int64_t>(length);
        }
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 8 || at + 2 + length > b.size()) return std::nullopt;
            JpegFrame f;
            f.Orientation = orientation;
            f.ProfileBytes = profileBytes;
            f.Height = b[at + 5] << 8 | b[at + 6];
            f.Width = b[at + 7] << 8 | b[at + 8];
            f.Components = b[at + 9];
            f.WholeImageBuffer =
                marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            f.DcReadable = marker == 0xC2 && b[at + 4] == 8;
            if (f.Components < 1 || f.Components > 4 || length < 8u + 3u * f.Components) {
                return std::nullopt;
            }
            for (int c = 0; c < f.Components; ++c) {
                const std::uint8_t sampling = b[at + 11 + 3 * c];
                f.H[c] = std::max(1, sampling >> 4);
                f.V[c] = std::max(1, sampling & 15);
            }
            return f;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

// The stretched picture the decode ends in: the paint size, or the picture's own.
std::int64_t PaintedBytes(std::int64_t width, std::int64_t height, int paintWidth,
                          int paintHeight) {
    if (paintWidth <= 0 || paintHeight <= 0) return width * height * 3;
    return std::int64_t{paintWidth} * paintHeight * 3;
}

std::optional<DecodeCost> JpegCost(const std::vector<std::uint8_t>& head, int paintWidth,
                                   int paintHeight) {
    const std::optional<JpegFrame> f = ReadFrame(head);
    if (!f || f->Width == 0 || f->Height == 0) return std::nullopt;
    const JpegShrinkNeed need = ShrinkNeedFor(f->Orientation, paintWidth, paintHeight);
    const int d = DctScaleFor(f->Width, f->Height, need);
    const std::int64_t width = CeilDiv(f->Width, d);
    const std::int64_t height = CeilDiv(f->Height, d);
    const std::int64_t painted = PaintedBytes(f->Width, f->Height, paintWidth, paintHeight);
    // Read through windows on the file: libjpeg's and our own reader's.
    std::int64_t bytes = painted + 2 * std::int64_t{JpegWindow::kWindowBytes};
    if (f->Orientation == 1) {
        // Streamed into the filter: the rows of its vertical window and of libjpeg's row group.
        const std::int64_t window =
            paintHeight > 0 ? 6 * CeilDiv(height, paintHeight) + 1 : std::int64_t{1};
        bytes += (std::min(window, height) + kDecoderRows) * width * 3;
    } else {
        bytes += width * height * 3 * 2;  // decoded whole, then turned
    }
    if (f->ProfileBytes > 0) bytes += 2 * f->ProfileBytes + kColourTransformBytes;
    if (f->WholeImageBuffer) {
        const int hMax = *std::max_element(f->H.begin(), f->H.begin() + f->Components);
        const int vMax = *std::max_element(f->V.begin(), f->V.begin() + f->Components);
        // Shrunk by eight, our reader keeps a DC value per block instead of libjpeg's 64
        // coefficients, when every component's DC grid leaves the margin (as the decoder checks).
        bool dcOnly = d == 8 && f->DcReadable;
        // Shrunk by four it takes every such file whose samplings divide (as the decoder checks).
        bool quarter = d == 4 && f->DcReadable;
        std::int64_t blocks = 0, largest = 0;
        for (int c = 0; c < f->Components; ++c) {
            const std::int64_t wide = CeilDiv(std::int64_t{f->Width} * f->H[c], hMax);
            const std::int64_t high = CeilDiv(std::int64_t{f->Height} * f->V[c], vMax);
            const bool divides = hMax % f->H[c] == 0 && vMax % f->V[c] == 0;
            dcOnly = dcOnly && divides && CeilDiv(wide, 8) >= need.Width &&
                     CeilDiv(high, 8) >= need.Height;
            quarter = quarter && divides;
            const std::int64_t own =
                CeilDiv(wide, 8 * f->H[c]) * f->H[c] * CeilDiv(high, 8 * f->V[c]) * f->V[c];
            blocks += own;
            largest = std::max(largest, own);
        }
        bytes += dcOnly    ? blocks * kDcBlockBytes
                 : quarter ? blocks * kQuarterBlockBytes + largest * kQuarterHeldBytes
                           : blocks * kCoefficientBlockBytes;
    }
    return DecodeCost{bytes, painted};
}

// Without the file's bytes, which are held whole.
std::optional<DecodeCost> BmpCost(const std::vector<std::uint8_t>& head, int paintWidth,
                                  int paintHeight) {
    auto read = ReadBmpHeader(head);
    if (!read.Ok()) return std::nullopt;
    const BmpHeader& header = read.Value();
    const std::int64_t width = header.biWidth, height = header.Rows();
    // Past the loader's pixel cap the file is refused when it is opened, and the product
    // below could overflow: nothing to estimate.
    if (width * height > kMaxPixels) return std::nullopt;
    const std::int64_t painted = PaintedBytes(width, height, paintWidth, paintHeight);
    // A colour space other than sRGB: calibrated endpoints, or an embedded profile, read whole.
    const BmpColourSpace space = header.ColourSpace();
    const bool tagged = space != BmpColourSpace::Srgb;
    const std::int64_t colour =
        tagged ? kColourTransformBytes + (space == BmpColourSpace::EmbeddedProfile
                                              ? 2 * std::int64_t{header.bV5ProfileSize}
                                              : 0)
               : 0;
    // Stored as painted: read in place, nothing beyond the file and the stretched picture, or
    // copied to be converted.
    if (header.BgrRows()) {
        return DecodeCost{painted + colour + (tagged ? width * height * 3 : 0), painted};
    }
    // Qt's picture and the converted copy.
    return DecodeCost{width * height * (4 + 3) + painted + colour, painted};
}

}  // namespace

std::optional<DecodeCost> EstimateDecodeBytes(const std::string& path, int paintWidth,
                                              int paintHeight) {
    auto opened = FileSnapshot::Open(path);
    if (!opened.Ok()) return std::nullopt;
    const FileSnapshot& file = opened.Value();
    auto read = file.ReadStart(std::min(kPeekBytes, file.Size()));
    if (!read.Ok()) return std::nullopt;
    const std::vector<std::uint8_t>& head = read.Value();
    if (head.size() >= 2 && head[0] == 0xFF && head[1] == 0xD8) {
        return JpegCost(head, paintWidth, paintHeight);
    }
    if (head.size() < 2 || head[0] != 'B' || head[1] != 'M') return std::nullopt;
    std::optional<DecodeCost> cost = BmpCost(head, paintWidth, paintHeight);
    if (!cost) return std::nullopt;
    cost->Peak += static_cast<std::int64_t>(file.Size());
    cost->Kept += static_cast<std::int64_t>(file.Size());
    return cost;
}

}  // namespace quillane
