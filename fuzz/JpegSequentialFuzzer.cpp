// Our sequential reader on arbitrary bytes, shrunk by eight, four and two, in every colour layout
// that suits the frame's component count: opening either refuses them with 481 (or 7, out of
// memory) or gives rows of the shrunk size, each of which is read or fails with 481 or 7.

#include <cstdint>
#include <optional>
#include <vector>

#include "FuzzSupport.h"
#include "platform/picture/jpeg/sequential/JpegSequentialReader.h"

using namespace quillane;

namespace {

void CheckFailure(const PictureFailure& failure) {
    if (failure.Number != ErrorNumber::InvalidPicture &&
        failure.Number != ErrorNumber::OutOfMemory) {
        fuzz::Violated("neither 481 nor 7");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const std::optional<JpegFrame> frame = fuzz::FirstJpegFrame(bytes);
    const std::optional<std::size_t> count =
        frame ? std::optional<std::size_t>(frame->Components.size()) : std::nullopt;
    std::vector<JpegShrunkColour> layouts;
    if (count == 1) layouts = {JpegShrunkColour::Gray, JpegShrunkColour::GrayToBgr};
    if (count == 3) layouts = {JpegShrunkColour::YccToBgr, JpegShrunkColour::RgbToBgr};
    if (count == 4) layouts = {JpegShrunkColour::Cmyk, JpegShrunkColour::YcckToCmyk};
    if (layouts.empty()) layouts = {JpegShrunkColour::Gray};  // refused before any row
    for (const int scale : {8, 4, 2}) {
        for (const JpegShrunkColour layout : layouts) {
            auto opened = OpenSequentialShrunk(bytes, scale, layout);
            if (!opened.Ok()) {
                CheckFailure(opened.Failure());
                continue;
            }
            JpegShrunkRows& rows = *opened.Value();
            if (rows.Width() < 1 || rows.Height() < 1 ||
                rows.Width() > (65535 + scale - 1) / scale ||
                rows.Height() > (65535 + scale - 1) / scale) {
                fuzz::Violated("rows of an impossible size");
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
    return 0;
}
