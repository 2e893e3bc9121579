// Our progressive reader on arbitrary bytes, shrunk by eight (DC scans only), four and two (every
// scan): it either refuses them with 481 (or 7, out of memory) or gives components whose
// samples fill exactly their grids, and the rows made from those, in every colour layout that
// suits the component count, can all be read. At full size, in bands of one MCU row and of the
// reader's own size, opening refuses them the same way or gives rows of the frame's size, each
// of which is read or fails with 481 or 7.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/picture/jpeg/progressive/JpegProgressiveBands.h"
#include "platform/picture/jpeg/progressive/JpegProgressiveReader.h"
#include "platform/picture/jpeg/progressive/JpegShrunkRows.h"

using namespace quillane;

namespace {

void CheckFailure(const PictureFailure& failure) {
    if (failure.Number != ErrorNumber::InvalidPicture &&
        failure.Number != ErrorNumber::OutOfMemory) {
        fuzz::Violated("neither 481 nor 7");
    }
}

void Check(PictureResult<JpegShrunkPicture> read, int scale) {
    if (!read.Ok()) return CheckFailure(read.Failure());
    const JpegShrunkPicture& picture = read.Value();
    if (picture.Scale != scale) fuzz::Violated("the wrong scale");
    for (const JpegShrunkComponent& c : picture.Components) {
        const int perBlock = 8 / scale;
        if (c.Samples.size() != static_cast<std::size_t>(c.SamplesWide) * c.SamplesHigh ||
            c.SamplesWide > c.BlocksWide * perBlock || c.SamplesHigh > c.BlocksHigh * perBlock) {
            fuzz::Violated("samples do not fill their grid");
        }
    }
    std::vector<JpegShrunkColour> layouts;
    switch (picture.Components.size()) {
        case 1:
            layouts = {JpegShrunkColour::Gray, JpegShrunkColour::GrayToBgr};
            break;
        case 3:
            layouts = {JpegShrunkColour::YccToBgr, JpegShrunkColour::RgbToBgr};
            break;
        case 4:
            layouts = {JpegShrunkColour::Cmyk, JpegShrunkColour::YcckToCmyk};
            break;
        default:
            return;  // two components: no layout; the decoder refuses them before
    }
    for (const JpegShrunkColour layout : layouts) {
        JpegShrunkRows rows(picture, layout);
        if (rows.Width() != (picture.Width + scale - 1) / scale ||
            rows.Height() != (picture.Height + scale - 1) / scale) {
            fuzz::Violated("rows of the wrong size");
        }
        std::vector<std::uint8_t> row(static_cast<std::size_t>(rows.Width()) * 4);
        for (int y = 0; y < rows.Height(); ++y) rows.Row(y, row.data());
    }
}

void CheckFullSize(std::span<const std::uint8_t> bytes) {
    const std::optional<JpegFrame> frame = fuzz::FirstJpegFrame(bytes);
    if (!frame) return;
    const std::size_t count = frame->Components.size();
    const JpegShrunkColour layout = count == 1   ? JpegShrunkColour::Gray
                                    : count == 4 ? JpegShrunkColour::YcckToCmyk
                                                 : JpegShrunkColour::YccToBgr;
    if (count == 2) return;  // no layout; the decoder refuses them before
    for (const int mcuRows : {1, 0}) {
        auto opened = OpenProgressiveFullSize(bytes, *frame, layout, mcuRows);
        if (!opened.Ok()) {
            CheckFailure(opened.Failure());
            continue;
        }
        JpegShrunkRows& rows = *opened.Value();
        if (rows.Width() != frame->Width || rows.Height() != frame->Height) {
            fuzz::Violated("rows of the wrong size");
        }
        std::vector<std::uint8_t> row(static_cast<std::size_t>(rows.Width()) * 4);
        for (int y = 0; y < rows.Height(); ++y) {
            if (!rows.Row(y, row.data())) {
                CheckFailure(rows.Failure());
                break;
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    Check(ReadProgressiveShrunk(bytes, 8), 8);
    Check(ReadProgressiveShrunk(bytes, 4), 4);
    Check(ReadProgressiveShrunk(bytes, 2), 2);
    CheckFullSize(bytes);
    return 0;
}
