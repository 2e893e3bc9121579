#pragma once
// The full-size inverse DCT of our progressive reader, computed as libjpeg's accurate integer
// one computes it (the one the loader asks libjpeg for), so that our picture equals its own.

#include <cstddef>
#include <cstdint>

namespace quillane {

// The 64 samples of one block into out (eight rows, `stride` bytes apart), from its
// coefficients and their quantizers, both in the block's natural order (row by row, the DC
// value first).
void Idct8x8(const std::int16_t* coefficients, const std::uint16_t* quantizers, std::uint8_t* out,
             std::ptrdiff_t stride);

// The same for a block whose AC coefficients are all zero: every sample alike.
void Idct8x8Flat(std::int16_t dc, std::uint16_t quantizer, std::uint8_t* out,
                 std::ptrdiff_t stride);

}  // namespace quillane
