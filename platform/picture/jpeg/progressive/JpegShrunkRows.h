#pragma once
// The picture our own reader makes of a JPEG, one pixel per sample of the most finely sampled
// components (one per 8x8 block shrunk by eight, 2x2 shrunk by four), handed out row by row in
// the layout libjpeg would give. Components sampled more coarsely have fewer samples; they are
// spread smoothly over the finer grid (each one weighted by its distance, as from the centres
// of the samples) before the colours are turned. The samples are held whole (our progressive
// reader's) or come a few rows at a time from a reader that decodes them as they are asked for.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/picture/PictureLimits.h"
#include "platform/picture/jpeg/JpegMarkers.h"
#include "platform/picture/jpeg/progressive/JpegProgressiveReader.h"

namespace quillane {

// From the file's colour space to the rows' layout.
enum class JpegShrunkColour {
    Gray,        // one channel, as stored
    GrayToBgr,   // the one channel three times
    YccToBgr,    // YCbCr, turned as libjpeg turns it
    RgbToBgr,    // stored as RGB
    Cmyk,        // four channels, as stored
    YcckToCmyk,  // YCC turned and inverted, K as stored
};

// The picture's layout for a frame shrunk by `scale` (8, 4 or 2): its sizes and each component's
// blocks and samples, without the samples.
JpegShrunkPicture ShrunkLayoutFor(const JpegFrame& frame, int scale);

// Where the samples come from when they are not held whole: each component's rows, asked for in
// order (each row of a component at or after the one before, give or take one MCU row).
class JpegSampleRows {
  public:
    virtual ~JpegSampleRows() = default;
    // Row `row` of component `c`'s samples, at least SamplesWide of them; null when they could
    // not be decoded (Failure() says why).
    virtual const std::uint8_t* Row(std::size_t c, int row) = 0;
    virtual PictureFailure Failure() const = 0;
};

class JpegShrunkRows {
  public:
    // The picture's component count must suit the colour (1, 3 or 4), and each coarser
    // sampling must divide the finest.
    JpegShrunkRows(JpegShrunkPicture picture, JpegShrunkColour colour);
    // The same, the samples coming from `samples` as the rows are asked for; `layout` has none.
    JpegShrunkRows(JpegShrunkPicture layout, JpegShrunkColour colour,
                   std::unique_ptr<JpegSampleRows> samples);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // Writes row y (0..Height()-1) of Width() pixels of 1, 3 or 4 bytes each; false when the
    // samples could not be had (Failure() says why).
    bool Row(int y, std::uint8_t* out);
    PictureFailure Failure() const;

  private:
    struct Spread {               // how one component reaches the output grid along one direction
        std::vector<int> Near;    // the nearer-before sample for each output position
        std::vector<int> Weight;  // of the sample after it, out of Scale
        int Scale = 1;
    };
    // Component c's samples on output row y, spread over the grid; null when they could not
    // be had.
    const std::uint8_t* ComponentRow(std::size_t c, int y);
    const std::uint8_t* SampleRow(std::size_t c, int row);

    JpegShrunkPicture m_picture;
    std::unique_ptr<JpegSampleRows> m_samples;  // null: the picture holds them
    JpegShrunkColour m_colour;
    int m_width = 0;
    int m_height = 0;
    std::vector<Spread> m_across;
    std::vector<Spread> m_down;
    std::vector<std::vector<std::uint8_t>> m_rows;  // coarser components' samples on this row
    std::vector<int> m_blend;  // a coarser component's two rows blended down, before across
    std::vector<std::uint8_t> m_colourRows;  // a row's blue, green and red apart
};

}  // namespace quillane
