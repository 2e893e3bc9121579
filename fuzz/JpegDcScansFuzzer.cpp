// The DC-scan reader on arbitrary bytes: it either refuses them with 481 (or 7, out of memory)
// or gives components whose samples fill exactly their block grids, and the rows made from
// those, in every colour layout that suits the component count, can all be read.

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/picture/JpegDcRows.h"
#include "platform/picture/JpegDcScans.h"

using namespace quillane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto read = ReadJpegDcScans({data, size});
    if (!read.Ok()) {
        const ErrorNumber number = read.Failure().Number;
        if (number != ErrorNumber::InvalidPicture && number != ErrorNumber::OutOfMemory) {
            fuzz::Violated("neither 481 nor 7");
        }
        return 0;
    }
    const JpegDcPicture& picture = read.Value();
    for (const JpegDcComponent& c : picture.Components) {
        if (c.Samples.size() != static_cast<std::size_t>(c.BlocksWide) * c.BlocksHigh) {
            fuzz::Violated("samples do not fill the block grid");
        }
    }
    std::vector<JpegDcColour> layouts;
    switch (picture.Components.size()) {
        case 1:
            layouts = {JpegDcColour::Gray, JpegDcColour::GrayToBgr};
            break;
        case 3:
            layouts = {JpegDcColour::YccToBgr, JpegDcColour::RgbToBgr};
            break;
        case 4:
            layouts = {JpegDcColour::Cmyk, JpegDcColour::YcckToCmyk};
            break;
        default:
            return 0;  // two components: no layout; the decoder refuses them before
    }
    for (const JpegDcColour layout : layouts) {
        JpegDcRows rows(picture, layout);
        if (rows.Width() != (picture.Width + 7) / 8 || rows.Height() != (picture.Height + 7) / 8) {
            fuzz::Violated("rows of the wrong size");
        }
        std::vector<std::uint8_t> row(static_cast<std::size_t>(rows.Width()) * 4);
        for (int y = 0; y < rows.Height(); ++y) rows.Row(y, row.data());
    }
    return 0;
}
