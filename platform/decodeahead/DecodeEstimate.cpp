#include "platform/decodeahead/DecodeEstimate.h"

#include <algorithm>
#include <span>
#include <utility>
#include <vector>

#include "platform/picture/FileSnapshot.h"
#include "platform/picture/PictureLimits.h"
#include "platform/picture/bmp/BmpHeader.h"
#include "platform/picture/colour/ColourProfile.h"
#include "platform/picture/exif/Orientation.h"
#include "platform/picture/jpeg/JpegMarkers.h"
#include "platform/picture/jpeg/JpegReaderChoice.h"
#include "platform/picture/jpeg/JpegSource.h"
#include "platform/picture/jpeg/progressive/JpegProgressiveBands.h"
#include "platform/picture/jpeg/progressive/JpegProgressiveReader.h"

namespace quillane {
namespace {

// Enough for the headers of any ordinary file: EXIF, ICC and XMP blocks come before the first
// scan and are rarely longer together.
constexpr std::size_t kPeekBytes = std::size_t{256} << 10;
constexpr std::int64_t kCoefficientBlockBytes = 64 * 2;  // one 8x8 block of 16-bit values
// Rows libjpeg itself keeps while it hands out rows: a row group of every component, and the
// context rows of its smooth upsampling.
constexpr std::int64_t kDecoderRows = 48;
// What Little CMS holds for a picture with a colour profile beyond the profile itself (read once
// more when it is put together, once when lcms parses it): its optimised tables, at most a
// 17-point CMYK or 33-point RGB grid of 16-bit values, well below this.
constexpr std::int64_t kColourTransformBytes = std::int64_t{1} << 20;

// What the markers before the first scan say.
struct JpegHead {
    JpegFrame Frame;
    int Orientation = 1;
    std::int64_t ProfileBytes = 0;        // the colour profile the APP2 chunks make, 0 for none
    std::size_t FirstScanComponents = 0;  // 0 when the head ends before the first scan
};

bool WantedByTheEstimate(std::uint8_t marker) {
    return IsFrameMarker(marker) || marker == kExifSegment || marker == kIccSegment ||
           marker == kStartOfScan;
}

// The markers up to the first scan; a start cut short after the frame header still tells.
std::optional<JpegHead> ReadHead(const std::vector<std::uint8_t>& bytes) {
    JpegWindow window{JpegSource(bytes)};
    JpegMarkerWalk walk(window);
    if (!walk.StartOfImage()) return std::nullopt;
    std::optional<JpegFrame> frame;
    std::vector<std::vector<std::uint8_t>> exif, icc;
    JpegSegment segment;
    std::size_t firstScan = 0;
    while (!walk.Next(segment, WantedByTheEstimate) && segment.Marker != kEndOfImage) {
        if (segment.Marker == kStartOfScan) {
            if (!segment.Fields.empty()) firstScan = segment.Fields[0];
            break;
        }
        const std::span<const std::uint8_t> fields = segment.Fields;
        if (IsFrameMarker(segment.Marker) && !frame) {
            frame.emplace();
            if (ReadJpegFrame(segment.Marker, fields, *frame)) return std::nullopt;
        } else if (segment.Marker == kExifSegment) {
            exif.emplace_back(fields.begin(), fields.end());
        } else if (segment.Marker == kIccSegment) {
            icc.emplace_back(fields.begin(), fields.end());
        }
    }
    if (!frame) return std::nullopt;
    JpegHead head{std::move(*frame)};
    head.FirstScanComponents = firstScan;
    head.Orientation =
        FirstExifOrientation(std::vector<std::span<const std::uint8_t>>(exif.begin(), exif.end()));
    if (const auto profile =
            IccFromJpegChunks(std::vector<std::span<const std::uint8_t>>(icc.begin(), icc.end()))) {
        head.ProfileBytes = static_cast<std::int64_t>(profile->size());
    }
    return head;
}

// The stretched picture the decode ends in: the paint size, or the picture's own.
std::int64_t PaintedBytes(std::int64_t width, std::int64_t height, int paintWidth,
                          int paintHeight) {
    if (paintWidth <= 0 || paintHeight <= 0) return width * height * 3;
    return std::int64_t{paintWidth} * paintHeight * 3;
}

// The size the whole picture is painted at when the part the fit takes of it fills its place on
// a canvas of canvasWidth x canvasHeight (upright).
std::pair<int, int> WholePaintSizeFor(FitMode fit, int width, int height, int canvasWidth,
                                      int canvasHeight) {
    if (canvasWidth <= 0 || canvasHeight <= 0) return {canvasWidth, canvasHeight};
    const FitPlacement placement = FitRectangles(fit, width, height, canvasWidth, canvasHeight);
    return WholePaintSize(width, height, AreaOf(placement.Source), placement.Destination.Width,
                          placement.Destination.Height);
}

// The rows a stretch streamed from a decoder holds of a picture decoded at width x height and
// painted paintHeight high: its vertical window, one row when painted at its own size.
std::int64_t StreamedRowBytes(std::int64_t width, std::int64_t height, int paintHeight) {
    const std::int64_t window =
        paintHeight > 0 ? 6 * CeilDiv(height, paintHeight) + 1 : std::int64_t{1};
    return std::min(window, height) * width * 3;
}

std::optional<DecodeCost> JpegCost(const std::vector<std::uint8_t>& bytes, int canvasWidth,
                                   int canvasHeight, FitMode fit) {
    const std::optional<JpegHead> head = ReadHead(bytes);
    if (!head) return std::nullopt;
    const JpegFrame& f = head->Frame;
    const bool turned = OrientationSwapsSides(head->Orientation);
    const auto [paintWidth, paintHeight] =
        turned ? WholePaintSizeFor(fit, f.Height, f.Width, canvasWidth, canvasHeight)
               : WholePaintSizeFor(fit, f.Width, f.Height, canvasWidth, canvasHeight);
    const JpegShrinkNeed need = ShrinkNeedFor(head->Orientation, paintWidth, paintHeight);
    const JpegReader reader = ChooseJpegReader(f, DctScaleFor(f.Width, f.Height, need), need);
    const int d =
        reader == JpegReader::Libjpeg ? DctScaleFor(f.Width, f.Height, need) : ScaleOf(reader);
    const std::int64_t width = CeilDiv(f.Width, d);
    const std::int64_t height = CeilDiv(f.Height, d);
    const std::int64_t painted = PaintedBytes(f.Width, f.Height, canvasWidth, canvasHeight);
    // Read through windows on the file: libjpeg's and our own reader's.
    std::int64_t cost = painted + 2 * std::int64_t{JpegWindow::kWindowBytes};
    if (head->Orientation == 1) {
        // Streamed into the filter: the rows of its vertical window and of libjpeg's row group.
        cost += StreamedRowBytes(width, height, paintHeight) + kDecoderRows * width * 3;
    } else {
        cost += width * height * 3 * 2;  // decoded whole, then turned
    }
    if (head->ProfileBytes > 0) cost += 2 * head->ProfileBytes + kColourTransformBytes;
    // A sequential file of several scans is held whole until its last: by libjpeg as all the
    // coefficients of every block, by our reader as the shrunk samples of every component.
    const bool severalScans = !f.Progressive && head->FirstScanComponents > 0 &&
                              head->FirstScanComponents < f.Components.size();
    if (severalScans && IsSequential(reader)) {
        cost += width * height * static_cast<std::int64_t>(f.Components.size());
    }
    if (f.Progressive || severalScans) {
        // libjpeg keeps all 64 coefficients of every block until the last scan; our progressive
        // reader, where it takes the file, far fewer.
        std::int64_t blocks = 0, largest = 0;
        for (const JpegFrameComponent& c : f.Components) {
            const std::int64_t wide =
                CeilDiv(std::int64_t{f.Width} * c.Horizontal, f.MaxHorizontal());
            const std::int64_t high = CeilDiv(std::int64_t{f.Height} * c.Vertical, f.MaxVertical());
            // Block rows and columns of a subsampled component round up to whole sampling units.
            const std::int64_t own = CeilDiv(wide, 8 * c.Horizontal) * c.Horizontal *
                                     CeilDiv(high, 8 * c.Vertical) * c.Vertical;
            blocks += own;
            largest = std::max(largest, own);
        }
        if (reader == JpegReader::Libjpeg) {
            cost += blocks * kCoefficientBlockBytes;
        } else if (reader == JpegReader::ProgressiveFullSize) {
            cost += ProgressiveFullSizeBytes(f);
        } else if (f.Progressive) {
            const JpegBlockBytes ours = ProgressiveBlockBytes(d);
            cost += blocks * ours.EveryBlock + largest * ours.ComponentRead;
        }
    }
    return DecodeCost{cost, painted};
}

// Without the file's bytes, which are held whole.
std::optional<DecodeCost> BmpCost(const std::vector<std::uint8_t>& head, int canvasWidth,
                                  int canvasHeight, FitMode fit) {
    auto read = ReadBmpHeader(head);
    if (!read.Ok()) return std::nullopt;
    const BmpHeader& header = read.Value();
    const std::int64_t width = header.biWidth, height = header.Rows();
    // Past the loader's pixel cap the file is refused when it is opened, and the product
    // below could overflow: nothing to estimate.
    if (width * height > kMaxPixels) return std::nullopt;
    const std::int64_t painted = PaintedBytes(width, height, canvasWidth, canvasHeight);
    // A colour space other than sRGB: calibrated endpoints, or an embedded profile, read whole.
    const BmpColourSpace space = header.ColourSpace();
    const bool tagged = space != BmpColourSpace::Srgb;
    const std::int64_t colour =
        tagged ? kColourTransformBytes + (space == BmpColourSpace::EmbeddedProfile
                                              ? 2 * std::int64_t{header.bV5ProfileSize}
                                              : 0)
               : 0;
    // Qt's picture and the converted copy, whole.
    if (header.DecodedByQt())
        return DecodeCost{width * height * (4 + 3) + painted + colour, painted};
    // The loader's own decode, streamed into the filter.
    const int paintHeight = WholePaintSizeFor(fit, static_cast<int>(width),
                                              static_cast<int>(height), canvasWidth, canvasHeight)
                                .second;
    return DecodeCost{StreamedRowBytes(width, height, paintHeight) + painted + colour, painted};
}

}  // namespace

std::optional<DecodeCost> EstimateDecodeBytes(const std::string& path, int paintWidth,
                                              int paintHeight, FitMode fit) {
    auto opened = FileSnapshot::Open(path);
    if (!opened.Ok()) return std::nullopt;
    const FileSnapshot& file = opened.Value();
    auto read = file.ReadStart(std::min(kPeekBytes, file.Size()));
    if (!read.Ok()) return std::nullopt;
    const std::vector<std::uint8_t>& head = read.Value();
    if (head.size() >= 2 && head[0] == 0xFF && head[1] == 0xD8) {
        return JpegCost(head, paintWidth, paintHeight, fit);
    }
    if (head.size() < 2 || head[0] != 'B' || head[1] != 'M') return std::nullopt;
    std::optional<DecodeCost> cost = BmpCost(head, paintWidth, paintHeight, fit);
    if (!cost) return std::nullopt;
    cost->Peak += static_cast<std::int64_t>(file.Size());
    cost->Kept += static_cast<std::int64_t>(file.Size());
    return cost;
}

}  // namespace quillane
