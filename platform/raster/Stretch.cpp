#include "platform/raster/Stretch.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <numbers>
#include <type_traits>

#include "platform/raster/CpuClones.h"

namespace quillane {
namespace {

// Weights are fixed point with this many fraction bits. A normalised weight stays well inside
// (-2, 2) for the kernels below, so it fits an int16; the worst-case sum of 255 * |weight| over
// a window (negative lobes included) stays below 2 * 255 * 2^14, far inside an int32.
constexpr int kWeightBits = 14;
constexpr std::int32_t kWeightOne = std::int32_t{1} << kWeightBits;

// The vertical pass accumulates this many samples of a row at a time, so the accumulators and the
// source rows it reads stay in the first-level cache however wide the picture is.
constexpr int kVerticalChunk = 4096;

// How much more a multiply-add of the horizontal pass costs than one of the vertical pass
// (measured: the horizontal pass also splits each row into channels and sums short runs).
// Picks the order of the passes.
constexpr double kHorizontalCostFactor = 3.0;

double Sinc(double x) {
    if (x == 0.0) return 1.0;
    const double px = std::numbers::pi * x;
    return std::sin(px) / px;
}

double KernelSupport(StretchFilter filter) {
    switch (filter) {
        case StretchFilter::Lanczos3:
            return 3.0;
        case StretchFilter::Lanczos2:
        case StretchFilter::Mitchell:
            return 2.0;
    }
    assert(false && "unknown stretch filter");
    return 3.0;
}

double Kernel(StretchFilter filter, double x) {
    x = std::fabs(x);
    switch (filter) {
        case StretchFilter::Lanczos3:
            return x < 3.0 ? Sinc(x) * Sinc(x / 3.0) : 0.0;
        case StretchFilter::Lanczos2:
            return x < 2.0 ? Sinc(x) * Sinc(x / 2.0) : 0.0;
        case StretchFilter::Mitchell: {
            // Mitchell-Netravali with B = C = 1/3, written out.
            constexpr double B = 1.0 / 3.0;
            constexpr double C = 1.0 / 3.0;
            if (x < 1.0) {
                return ((12 - 9 * B - 6 * C) * x * x * x + (-18 + 12 * B + 6 * C) * x * x +
                        (6 - 2 * B)) /
                       6.0;
            }
            if (x < 2.0) {
                return ((-B - 6 * C) * x * x * x + (6 * B + 30 * C) * x * x +
                        (-12 * B - 48 * C) * x + (8 * B + 24 * C)) /
                       6.0;
            }
            return 0.0;
        }
    }
    assert(false && "unknown stretch filter");
    return 0.0;
}

template <typename T>
std::unique_ptr<T[]> AllocateArray(std::size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

// The precomputed taps of one direction. Every output position reads exactly Taps source
// positions starting at First[i]; windows that are shorter (at the borders, or simply narrower
// than the widest one) are padded with zero weights, and their start is moved so that the
// padded window still lies inside the source. The inner loops then never test for borders.
struct Axis {
    int Taps = 0;
    std::unique_ptr<int[]> First;             // per output position
    std::unique_ptr<std::int16_t[]> Weights;  // Taps per output position, summing to kWeightOne
};

// Where the filter window of output position i lies, before clipping: the open interval
// (centre - support, centre + support) around the centre of the output pixel mapped onto the
// source grid. The kernel is widened by the factor only when shrinking.
struct Window {
    double Centre;
    int Left;   // first source index, clipped to the source
    int Right;  // last source index, clipped to the source
};

Window WindowFor(int i, int inSize, double scale, double support) {
    const double centre = (i + 0.5) * scale - 0.5;
    int left = static_cast<int>(std::floor(centre - support)) + 1;
    int right = static_cast<int>(std::ceil(centre + support)) - 1;
    left = std::max(left, 0);
    right = std::min(right, inSize - 1);
    if (left > right) {
        // Cannot happen for the kernels above (the centre lies within half a pixel of the
        // source), but a single nearest tap is the sound answer should it ever.
        left = right = std::clamp(static_cast<int>(std::lround(centre)), 0, inSize - 1);
    }
    return {centre, left, right};
}

[[nodiscard]] bool BuildAxis(int inSize, int outSize, StretchFilter filter, Axis& axis) {
    const double scale = static_cast<double>(inSize) / outSize;
    const double widen = std::max(1.0, scale);
    const double support = KernelSupport(filter) * widen;

    int taps = 1;
    for (int i = 0; i < outSize; ++i) {
        const Window window = WindowFor(i, inSize, scale, support);
        taps = std::max(taps, window.Right - window.Left + 1);
    }
    const auto weightCount = static_cast<std::size_t>(outSize) * static_cast<std::size_t>(taps);
    axis.Taps = taps;
    axis.First = AllocateArray<int>(static_cast<std::size_t>(outSize));
    axis.Weights = AllocateArray<std::int16_t>(weightCount);
    auto exact = AllocateArray<double>(static_cast<std::size_t>(taps));
    if (!axis.First || !axis.Weights || !exact) return false;

    for (int i = 0; i < outSize; ++i) {
        const Window window = WindowFor(i, inSize, scale, support);
        const int count = window.Right - window.Left + 1;
        double sum = 0.0;
        for (int k = 0; k < count; ++k) {
            exact[k] = Kernel(filter, (window.Left + k - window.Centre) / widen);
            sum += exact[k];
        }
        // Shift the window left where padding to Taps would run past the right edge.
        const int first = std::min(window.Left, inSize - taps);
        const int offset = window.Left - first;
        std::int16_t* weights = axis.Weights.get() + static_cast<std::size_t>(i) * taps;
        std::fill(weights, weights + taps, std::int16_t{0});
        if (!(sum > 1e-9)) {
            // A window whose weights cancel out has no meaningful average; take the pixel
            // under the centre rather than divide by (nearly) zero.
            const int nearest =
                std::clamp(static_cast<int>(std::lround(window.Centre)), window.Left, window.Right);
            weights[offset + nearest - window.Left] = static_cast<std::int16_t>(kWeightOne);
            axis.First[i] = first;
            continue;
        }
        // Round each weight, then give the rounding residue to the largest one, so the sum is
        // exactly one and a flat area stays exactly flat.
        std::int32_t total = 0;
        int largest = 0;
        for (int k = 0; k < count; ++k) {
            const auto w = static_cast<std::int32_t>(std::lround(exact[k] / sum * kWeightOne));
            assert(w >= std::numeric_limits<std::int16_t>::min() &&
                   w <= std::numeric_limits<std::int16_t>::max());
            weights[offset + k] = static_cast<std::int16_t>(w);
            total += w;
            if (exact[k] > exact[largest]) largest = k;
        }
        weights[offset + largest] =
            static_cast<std::int16_t>(weights[offset + largest] + (kWeightOne - total));
        axis.First[i] = first;
    }
    return true;
}

// A run stretches picture after picture between the same sizes (a folder of photographs from
// one camera): the axes last built on this thread for each direction are kept for the next
// picture instead of being built again, which takes a few thousand sines each.
const Axis* AxisFor(int inSize, int outSize, StretchFilter filter, bool vertical) {
    struct Kept {
        int In = 0;
        int Out = 0;
        StretchFilter Filter{};
        Axis Built;
    };
    thread_local Kept kept[2];
    Kept& k = kept[vertical ? 1 : 0];
    if (k.Built.Taps > 0 && k.In == inSize && k.Out == outSize && k.Filter == filter) {
        return &k.Built;
    }
    k.Built = Axis{};
    if (!BuildAxis(inSize, outSize, filter, k.Built)) {
        k.Built = Axis{};
        return nullptr;
    }
    k.In = inSize, k.Out = outSize, k.Filter = filter;
    return &k.Built;
}

// The rows between the two passes keep this many fraction bits and the overshoot of the
// kernel's negative lobes (a value may run from about -0.6 to 1.6 times 255), so the result is
// that of one two-dimensional filter rounded once, not twice. 1.6 * 255 * 64 fits an int16, and
// the second pass's worst-case sum, 32767 * 2 * 2^14, still fits an int32.
constexpr int kBetweenBits = 6;

// A run of rows of samples, three to a pixel; the stride counts samples and may be negative.
template <typename Sample>
struct Rows {
    Sample* Data;
    int Width;
    int Height;
    std::ptrdiff_t Stride;

    Sample* Row(int y) const { return Data + static_cast<std::ptrdiff_t>(y) * Stride; }
};

Rows<std::uint8_t> RowsOf(BgrView view) {
    return {view.Data, view.Width, view.Height, view.Stride};
}

template <typename Sample>
constexpr int FractionBits() {
    return std::is_same_v<std::remove_const_t<Sample>, std::int16_t> ? kBetweenBits : 0;
}

// Turns a sum of weighted samples back into a sample of the output's kind: adds half, shifts and
// clamps (to 0..255 for a final byte, to the int16 range between the passes).
template <typename In, typename Out>
struct Narrow {
    static constexpr int Shift = kWeightBits + FractionBits<In>() - FractionBits<Out>();
    static constexpr std::int32_t Half = std::int32_t{1} << (Shift - 1);
    static constexpr std::int32_t Low = std::is_same_v<Out, std::uint8_t> ? 0 : INT16_MIN;
    static constexpr std::int32_t High = std::is_same_v<Out, std::uint8_t> ? 255 : INT16_MAX;
    static Out Apply(std::int32_t sum) {
        const std::int32_t v = sum >> Shift;
        return static_cast<Out>(v < Low ? Low : (v > High ? High : v));
    }
};

// Vertical pass for one output row: a weighted sum of `taps` source rows, given by pointer so
// they may come from the source picture or from a ring of rows. The row is treated as a flat
// run of samples (the three channels need no distinction), so the inner loop is a plain
// multiply-add over contiguous memory that the compiler vectorises.
template <typename In, typename Out>
[[gnu::always_inline]] inline void VerticalRowBody(const In* const* rows,
                                                   const std::int16_t* weights, int taps,
                                                   std::ptrdiff_t rowSamples, Out* out,
                                                   std::int32_t* acc) {
    using N = Narrow<In, Out>;
    for (std::ptrdiff_t start = 0; start < rowSamples; start += kVerticalChunk) {
        const int n =
            static_cast<int>(std::min<std::ptrdiff_t>(kVerticalChunk, rowSamples - start));
        std::int32_t* __restrict a = acc;
        for (int i = 0; i < n; ++i) a[i] = N::Half;
        for (int k = 0; k < taps; ++k) {
            const std::int32_t w = weights[k];
            if (w == 0) continue;
            const In* __restrict s = rows[k] + start;
            for (int i = 0; i < n; ++i) a[i] += w * s[i];
        }
        Out* __restrict d = out + start;
        for (int i = 0; i < n; ++i) d[i] = N::Apply(a[i]);
    }
}

// Horizontal pass for one row: each output pixel is a weighted sum of a run of source pixels.
// The source row is first split into one contiguous run per channel (in `planes`, 3 * source
// width samples), so every output sample is a dot product of two contiguous int16 runs, which
// the compiler turns into packed multiply-adds.
template <typename In, typename Out>
[[gnu::always_inline]] inline void HorizontalRowBody(const In* in, std::ptrdiff_t width, Out* out,
                                                     std::ptrdiff_t outWidth, const Axis& axis,
                                                     std::int16_t* planes) {
    using N = Narrow<In, Out>;
    const int taps = axis.Taps;
    const int* firsts = axis.First.get();
    const std::int16_t* allWeights = axis.Weights.get();
    {
        const In* __restrict from = in;
        std::int16_t* __restrict split = planes;
        for (std::ptrdiff_t x = 0; x < width; ++x) {
            split[x] = from[3 * x];
            split[width + x] = from[3 * x + 1];
            split[2 * width + x] = from[3 * x + 2];
        }
    }
    Out* __restrict to = out;
    for (int c = 0; c < 3; ++c) {
        const std::int16_t* plane = planes + static_cast<std::ptrdiff_t>(c) * width;
        for (std::ptrdiff_t x = 0; x < outWidth; ++x) {
            const std::int16_t* __restrict p = plane + firsts[x];
            const std::int16_t* __restrict w = allWeights + static_cast<std::size_t>(x) * taps;
            std::int32_t sum = N::Half;
            for (int k = 0; k < taps; ++k) sum += w[k] * p[k];
            to[3 * x + c] = N::Apply(sum);
        }
    }
}

// The two passes for each pair of sample kinds the filter uses, each also built for AVX2.
#define QUILLANE_PASS QUILLANE_PIXEL_LOOP

QUILLANE_PASS void VerticalRow(const std::uint8_t* const* rows, const std::int16_t* weights,
                               int taps, std::ptrdiff_t rowSamples, std::int16_t* out,
                               std::int32_t* acc) {
    VerticalRowBody(rows, weights, taps, rowSamples, out, acc);
}
QUILLANE_PASS void VerticalRow(const std::uint8_t* const* rows, const std::int16_t* weights,
                               int taps, std::ptrdiff_t rowSamples, std::uint8_t* out,
                               std::int32_t* acc) {
    VerticalRowBody(rows, weights, taps, rowSamples, out, acc);
}
QUILLANE_PASS void VerticalRow(const std::int16_t* const* rows, const std::int16_t* weights,
                               int taps, std::ptrdiff_t rowSamples, std::uint8_t* out,
                               std::int32_t* acc) {
    VerticalRowBody(rows, weights, taps, rowSamples, out, acc);
}
QUILLANE_PASS void HorizontalRow(const std::uint8_t* in, std::ptrdiff_t width, std::uint8_t* out,
                                 std::ptrdiff_t outWidth, const Axis& axis, std::int16_t* planes) {
    HorizontalRowBody(in, width, out, outWidth, axis, planes);
}
QUILLANE_PASS void HorizontalRow(const std::uint8_t* in, std::ptrdiff_t width, std::int16_t* out,
                                 std::ptrdiff_t outWidth, const Axis& axis, std::int16_t* planes) {
    HorizontalRowBody(in, width, out, outWidth, axis, planes);
}
QUILLANE_PASS void HorizontalRow(const std::int16_t* in, std::ptrdiff_t width, std::uint8_t* out,
                                 std::ptrdiff_t outWidth, const Axis& axis, std::int16_t* planes) {
    HorizontalRowBody(in, width, out, outWidth, axis, planes);
}

// Source rows straight from memory: any row, any order.
class MemoryRows {
  public:
    explicit MemoryRows(ConstBgrView view) : m_view(view) {}
    int Width() const { return m_view.Width; }
    int Height() const { return m_view.Height; }
    [[nodiscard]] bool Reserve(int /*rows*/) { return true; }
    const std::uint8_t* Row(int y) { return m_view.Row(y); }
    bool ReadInto(int y, std::uint8_t* to) {
        std::memcpy(to, m_view.Row(y), static_cast<std::size_t>(m_view.Width) * 3);
        return true;
    }
    bool Failed() const { return false; }

  private:
    ConstBgrView m_view;
};

// Source rows from a source read top to bottom: row y lives in slot y % capacity of a ring, so
// any `capacity` consecutive rows can be held at once, and rows are asked for in rising order.
class StreamedRows {
  public:
    explicit StreamedRows(BgrRowSource& source) : m_source(source) {}
    int Width() const { return m_source.Width(); }
    int Height() const { return m_source.Height(); }
    [[nodiscard]] bool Reserve(int rows) {
        m_rowBytes = static_cast<std::size_t>(m_source.Width()) * 3;
        m_capacity = std::max(rows, 1);
        m_ring = AllocateArray<std::uint8_t>(m_rowBytes * static_cast<std::size_t>(m_capacity));
        return m_ring != nullptr;
    }
    // After a failure the ring keeps whatever it held; the caller stops at the next check.
    const std::uint8_t* Row(int y) {
        while (m_next <= y) {
            if (!m_failed && !m_source.ReadRow(Slot(m_next))) m_failed = true;
            ++m_next;
        }
        return Slot(y);
    }
    // The next row straight into place, for a pass that needs one row at a time.
    bool ReadInto(int y, std::uint8_t* to) {
        while (m_next < y) Row(m_next);
        if (!m_failed && !m_source.ReadRow(to)) m_failed = true;
        ++m_next;
        return !m_failed;
    }
    bool Failed() const { return m_failed; }

  private:
    std::uint8_t* Slot(int y) const {
        return m_ring.get() + static_cast<std::size_t>(y % m_capacity) * m_rowBytes;
    }

    BgrRowSource& m_source;
    std::unique_ptr<std::uint8_t[]> m_ring;
    std::size_t m_rowBytes = 0;
    int m_capacity = 1;
    int m_next = 0;
    bool m_failed = false;
};

// Rows of the horizontal pass kept while the vertical pass still needs them: row r of the
// horizontally stretched picture lives in slot r % Taps. Every output row reads Taps
// consecutive rows, which then sit in distinct slots, so each row is computed once however the
// windows overlap; scratch memory is Taps rows instead of the whole picture.
struct RowRing {
    std::unique_ptr<std::int16_t[]> Samples;
    std::unique_ptr<int[]> Held;  // which row each slot holds; -1 for none yet
    std::ptrdiff_t RowSamples = 0;
    int Taps = 0;

    [[nodiscard]] bool Allocate(int taps, std::ptrdiff_t rowSamples) {
        Taps = taps;
        RowSamples = rowSamples;
        Samples = AllocateArray<std::int16_t>(static_cast<std::size_t>(taps) *
                                              static_cast<std::size_t>(rowSamples));
        Held = AllocateArray<int>(static_cast<std::size_t>(taps));
        if (!Samples || !Held) return false;
        std::fill(Held.get(), Held.get() + taps, -1);
        return true;
    }
    std::int16_t* Slot(int row) const {
        return Samples.get() + static_cast<std::ptrdiff_t>(row % Taps) * RowSamples;
    }
};

// The filter over either kind of source. Everything is allocated before dst is touched, so
// running out of memory leaves it as it was.
template <typename Source>
StretchOutcome Stretch(Source& in, BgrView dst, StretchFilter filter) {
    const int srcWidth = in.Width();
    const int srcHeight = in.Height();
    if (dst.Empty() || srcWidth <= 0 || srcHeight <= 0) return StretchOutcome::Done;
    const bool sameWidth = srcWidth == dst.Width;
    const bool sameHeight = srcHeight == dst.Height;
    const auto failedOr = [&in](StretchOutcome outcome) {
        return in.Failed() ? StretchOutcome::SourceFailed : outcome;
    };
    const Rows<std::uint8_t> out = RowsOf(dst);
    if (sameWidth && sameHeight) {
        if (!in.Reserve(1)) return StretchOutcome::OutOfMemory;
        for (int y = 0; y < dst.Height && in.ReadInto(y, out.Row(y)); ++y) {
        }
        return failedOr(StretchOutcome::Done);
    }

    const Axis none;
    const Axis* across = sameWidth ? &none : AxisFor(srcWidth, dst.Width, filter, false);
    const Axis* down = sameHeight ? &none : AxisFor(srcHeight, dst.Height, filter, true);
    if (!across || !down) return StretchOutcome::OutOfMemory;
    const Axis& horizontal = *across;
    const Axis& vertical = *down;
    const std::ptrdiff_t srcSamples = std::ptrdiff_t{srcWidth} * 3;
    const std::ptrdiff_t dstSamples = std::ptrdiff_t{dst.Width} * 3;
    std::unique_ptr<std::int16_t[]> planes;
    if (!sameWidth) {
        planes = AllocateArray<std::int16_t>(static_cast<std::size_t>(srcSamples));
        if (!planes) return StretchOutcome::OutOfMemory;
    }
    if (sameHeight) {
        if (!in.Reserve(1)) return StretchOutcome::OutOfMemory;
        for (int y = 0; y < dst.Height; ++y) {
            const std::uint8_t* row = in.Row(y);
            if (in.Failed()) break;
            HorizontalRow(row, srcWidth, out.Row(y), dst.Width, horizontal, planes.get());
        }
        return failedOr(StretchOutcome::Done);
    }
    auto acc = AllocateArray<std::int32_t>(kVerticalChunk);
    const int taps = vertical.Taps;
    if (!acc) return StretchOutcome::OutOfMemory;

    // Both directions change (or only the height): each output row is made as soon as the rows
    // its vertical window needs exist, so only a few rows are ever held between the passes. The
    // order of the passes is the one that needs fewer multiply-adds (weighted by how well each
    // pass vectorises); when shrinking, the vertical pass first does the bulk of the work on
    // contiguous rows of the source.
    const double verticalFirst = static_cast<double>(srcWidth) * dst.Height * vertical.Taps +
                                 kHorizontalCostFactor * dst.Width * dst.Height * horizontal.Taps;
    const double horizontalFirst =
        kHorizontalCostFactor * static_cast<double>(dst.Width) * srcHeight * horizontal.Taps +
        static_cast<double>(dst.Width) * dst.Height * vertical.Taps;
    if (sameWidth || verticalFirst <= horizontalFirst) {
        auto rows = AllocateArray<const std::uint8_t*>(static_cast<std::size_t>(taps));
        std::unique_ptr<std::int16_t[]> between;
        if (!sameWidth) between = AllocateArray<std::int16_t>(static_cast<std::size_t>(srcSamples));
        if (!rows || (!sameWidth && !between) || !in.Reserve(taps)) {
            return StretchOutcome::OutOfMemory;
        }
        for (int y = 0; y < dst.Height; ++y) {
            const int first = vertical.First[y];
            for (int k = 0; k < taps; ++k) rows[k] = in.Row(first + k);
            if (in.Failed()) break;
            const std::int16_t* weights =
                vertical.Weights.get() + static_cast<std::size_t>(y) * taps;
            if (sameWidth) {
                VerticalRow(rows.get(), weights, taps, srcSamples, out.Row(y), acc.get());
            } else {
                VerticalRow(rows.get(), weights, taps, srcSamples, between.get(), acc.get());
                HorizontalRow(static_cast<const std::int16_t*>(between.get()), srcWidth, out.Row(y),
                              dst.Width, horizontal, planes.get());
            }
        }
        return failedOr(StretchOutcome::Done);
    }

    RowRing ring;
    auto rows = AllocateArray<const std::int16_t*>(static_cast<std::size_t>(taps));
    if (!rows || !ring.Allocate(taps, dstSamples) || !in.Reserve(1)) {
        return StretchOutcome::OutOfMemory;
    }
    for (int y = 0; y < dst.Height; ++y) {
        const int first = vertical.First[y];
        for (int k = 0; k < taps; ++k) {
            const int row = first + k;
            std::int16_t* slot = ring.Slot(row);
            int& held = ring.Held[row % taps];
            if (held != row) {
                const std::uint8_t* source = in.Row(row);
                if (in.Failed()) return StretchOutcome::SourceFailed;
                HorizontalRow(source, srcWidth, slot, dst.Width, horizontal, planes.get());
                held = row;
            }
            rows[k] = slot;
        }
        const std::int16_t* weights = vertical.Weights.get() + static_cast<std::size_t>(y) * taps;
        VerticalRow(rows.get(), weights, taps, dstSamples, out.Row(y), acc.get());
    }
    return StretchOutcome::Done;
}

}  // namespace

bool StretchBgr(ConstBgrView src, BgrView dst) {
    return StretchBgr(src, dst, StretchFilter::Lanczos3);
}

bool StretchBgr(ConstBgrView src, BgrView dst, StretchFilter filter) {
    if (src.Empty()) return true;
    MemoryRows rows(src);
    return Stretch(rows, dst, filter) == StretchOutcome::Done;
}

StretchOutcome StretchBgr(BgrRowSource& src, BgrView dst) {
    StreamedRows rows(src);
    return Stretch(rows, dst, StretchFilter::Lanczos3);
}

}  // namespace quillane
