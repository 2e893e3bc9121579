#pragma once
// The high-quality stretching filter behind every stretched paint: a separable, antialiased
// resampler over 24-bit pixel memory, in fixed point, working on the gamma-encoded values as
// they are stored (as the common image tools do).

#include "platform/raster/BgrImage.h"
#include "platform/raster/BgrRowSource.h"

namespace quillane {

// The kernels the resampler knows. Lanczos3 is the one the program paints with: on real
// photographs shrunk to thumbnail sizes it stays closest to the tools people compare against;
// the others are kept for measuring that choice again.
enum class StretchFilter {
    Lanczos3,  // sinc windowed by sinc, 3 lobes
    Lanczos2,  // sinc windowed by sinc, 2 lobes: softer, fewer ringing artefacts
    Mitchell,  // cubic with B = C = 1/3: no ringing to speak of, visibly softer
};

// Stretches the whole of src onto the whole of dst, each direction on its own (proportions are
// not kept), with a high-quality antialiased filter. src and dst may have any strides (negative
// for bottom-up memory) but must not overlap. Returns false only when the scratch memory cannot
// be had; dst is then left as it was. An empty dst is nothing to do; an empty src leaves dst
// untouched. Both return true.
[[nodiscard]] bool StretchBgr(ConstBgrView src, BgrView dst);

// The same with a chosen kernel, for measurements.
[[nodiscard]] bool StretchBgr(ConstBgrView src, BgrView dst, StretchFilter filter);

enum class StretchOutcome { Done, OutOfMemory, SourceFailed };
// The same from a source read row by row, top to bottom, each row once: only the rows the
// filter window needs are held. The result is exactly that of stretching the same pixels held
// in memory. OutOfMemory leaves dst as it was; SourceFailed (a row could not be read) leaves dst
// partly written, so stretch into memory of your own when a damaged source is possible.
[[nodiscard]] StretchOutcome StretchBgr(BgrRowSource& src, BgrView dst);

}  // namespace quillane
