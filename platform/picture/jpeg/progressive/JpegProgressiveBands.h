#pragma once
// Our progressive reader at full size, where libjpeg would hold all 64 coefficients of every
// block of the picture until the last scan (128 bytes a block: 100 MB for a 4096 x 4096 photo).
// The picture is decoded one band of MCU rows at a time as its rows are asked for: each band is
// a read of the file in which every AC scan decodes only the band's blocks, going on from where
// it stopped in the read before (its place in the data, its end-of-band run), so that the
// entropy-coded data is still decoded once in all. Between bands only each block's DC value is
// held (2 bytes), and a band's coefficients and samples take a few MiB for any photograph (a
// 64th of the picture at most, for one so wide that smaller bands would mean more reads).

#include <cstdint>
#include <memory>

#include "platform/picture/PictureLimits.h"
#include "platform/picture/jpeg/JpegMarkers.h"
#include "platform/picture/jpeg/JpegSource.h"
#include "platform/picture/jpeg/progressive/JpegShrunkRows.h"

namespace quillane {

// The MCU rows a band of this frame holds, and the bytes the reader holds at most for it: every
// block's DC value and a band's coefficients and samples.
int ProgressiveBandMcuRows(const JpegFrame& frame);
std::int64_t ProgressiveFullSizeBytes(const JpegFrame& frame);

// The rows of the progressive JPEG in `source` (which must outlive them, from its SOI marker) at
// full size, in `colour`'s layout; `frame` is its frame, as read before. bandMcuRows: the MCU
// rows of a band, 0 for ProgressiveBandMcuRows. A file our reader refuses, whose structure or
// first band is damaged, or past the scan budget, fails with 481 here, a later band's damage at
// the row it spoils (JpegShrunkRows::Row); memory running out with 7, a failed read with 75.
[[nodiscard]] PictureResult<std::unique_ptr<JpegShrunkRows>> OpenProgressiveFullSize(
    const JpegSource& source, const JpegFrame& frame, JpegShrunkColour colour, int bandMcuRows = 0);

}  // namespace quillane
