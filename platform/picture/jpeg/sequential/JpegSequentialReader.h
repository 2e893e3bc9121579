#pragma once
// Our own reader of sequential (baseline and extended), Huffman-coded 8-bit JPEGs, for the
// decodes shrunk by eight, four and two, which is how most cameras and phones write their
// photographs. The entropy decoding is nearly all of the cost, and only what the scale's reduced
// transform reads is decoded (see JpegSequentialScan). A file of one scan with every component,
// as they nearly all are, is decoded as its rows are asked for, an MCU row at a time, so that a
// shrunk decode holds only a few rows; a file of several scans is decoded whole first, each
// component once. A scan that names a component again is damage, so the work is one pass over
// the picture and within the scan budget by construction, with no walk of the file first.

#include <memory>
#include <optional>
#include <string>

#include "platform/picture/PictureLimits.h"
#include "platform/picture/jpeg/JpegMarkers.h"
#include "platform/picture/jpeg/JpegSource.h"
#include "platform/picture/jpeg/progressive/JpegShrunkRows.h"

namespace quillane {

// Why our reader does not take a file with this frame, empty when it does: it reads sequential
// Huffman-coded files of 8 bits a sample whose coarser samplings each divide the finest (for
// the spreading onto its grid). Every other file is libjpeg's or our progressive reader's.
std::optional<std::string> SequentialReaderRefuses(const JpegFrame& frame);

// The rows of the JPEG in `source` (which must outlive them, from its SOI marker) shrunk by
// `scale` (8, 4 or 2) in `colour`'s layout. A file our reader refuses, or whose structure is
// damaged, fails with 481 here, damaged data later, at the row it spoils (JpegShrunkRows::Row);
// memory running out with 7, a read that fails with 75.
[[nodiscard]] PictureResult<std::unique_ptr<JpegShrunkRows>> OpenSequentialShrunk(
    const JpegSource& source, int scale, JpegShrunkColour colour);

}  // namespace quillane
