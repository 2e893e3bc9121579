#pragma once
// Reading the rows one of our own JPEG readers hands out, for comparing them with djpeg's.

#include <cstdint>
#include <vector>

#include "platform/picture/jpeg/progressive/JpegShrunkRows.h"
#include "support/PictureFiles.h"

namespace quillane::test {

// Every row in the gray layout (the first component alone), each sample three times over, as
// djpeg writes a PGM read as RGB; empty when a row cannot be had.
inline RgbPicture GrayRows(JpegShrunkRows& rows) {
    RgbPicture out{rows.Width(), rows.Height(), {}};
    std::vector<std::uint8_t> row(static_cast<std::size_t>(rows.Width()));
    for (int y = 0; y < rows.Height(); ++y) {
        if (!rows.Row(y, row.data())) return {};
        for (const std::uint8_t sample : row) out.Rgb.insert(out.Rgb.end(), 3, sample);
    }
    return out;
}

}  // namespace quillane::test
