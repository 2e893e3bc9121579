#pragma once
// The picture our own reader makes of a JPEG, one pixel per sample of the most finely sampled
// components (one per 8x8 block shrunk by eight, 2x2 shrunk by four), handed out row by row in
// the layout libjpeg would give. Components sampled more coarsely have fewer samples; they are
// spread smoothly over the finer grid (each one weighted by its distance, as from the centres
// of the samples) before the colours are turned.

#include <cstdint>
#include <vector>

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

class JpegShrunkRows {
  public:
    // The picture's component count must suit the colour (1, 3 or 4), and each coarser
    // sampling must divide the finest.
    JpegShrunkRows(JpegShrunkPicture picture, JpegShrunkColour colour);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // Writes row y (0..Height()-1) of Width() pixels of 1, 3 or 4 bytes each.
    void Row(int y, std::uint8_t* out);

  private:
    struct Spread {               // how one component reaches the output grid along one direction
        std::vector<int> Near;    // the nearer-before sample for each output position
        std::vector<int> Weight;  // of the sample after it, out of Scale
        int Scale = 1;
    };
    void ComponentRow(std::size_t c, int y, std::uint8_t* out);

    JpegShrunkPicture m_picture;
    JpegShrunkColour m_colour;
    int m_width = 0;
    int m_height = 0;
    std::vector<Spread> m_across;
    std::vector<Spread> m_down;
    std::vector<std::vector<std::uint8_t>> m_rows;  // each component's samples on this row
};

}  // namespace quillane
