#pragma once
// Saving a picture so that its file lands in a window of sizes, as upload sites ask: the
// quality goes down until the file is small enough, or up until it is large enough, found by
// halving the range of qualities; where no quality reaches the lower bound, filler bytes do.

#include <cstdint>
#include <functional>
#include <vector>

namespace quillane {

// Sizes are asked for in KB of this many bytes, as upload sites count them.
inline constexpr std::int64_t kBytesPerKb = 1024;

// Bounds on a file's size in bytes; 0 sets no bound on that side.
struct SizeWindow {
    std::int64_t MinBytes = 0;
    std::int64_t MaxBytes = 0;

    bool Any() const { return MinBytes > 0 || MaxBytes > 0; }
    bool Over(std::int64_t bytes) const { return MaxBytes > 0 && bytes > MaxBytes; }
};

// Below this a photograph is too damaged to send anywhere; a window that needs less fails.
inline constexpr int kLowestWindowQuality = 10;
// The encodes a choice takes at most, from any starting quality: one at the start, then at most
// seven halvings of the 90 qualities from 10 to 99 (or of the 99 above 1).
inline constexpr int kMostWindowEncodes = 8;

// Encodes the picture at a quality into bytes (replacing what they held); false when it fails.
using EncodeAtQuality = std::function<bool(int quality, std::vector<std::uint8_t>& bytes)>;

struct QualityChoice {
    enum class Outcome { Fits, TooLarge, EncoderFailed };
    Outcome Result = Outcome::EncoderFailed;
    int Quality = 0;                  // of Bytes
    std::vector<std::uint8_t> Bytes;  // the encoding chosen
    std::int64_t FillerBytes = 0;     // to add to Bytes so the file reaches MinBytes
    std::int64_t SmallestBytes = 0;   // TooLarge: the smallest file any quality tried gave
    int Encodes = 0;
};

// The highest quality not above `quality` whose file is at most MaxBytes, never below
// kLowestWindowQuality (or `quality` itself, when that is lower); when the file at `quality`
// is under MinBytes, the lowest quality up to 100 that reaches MinBytes without passing
// MaxBytes, else the highest under MinBytes with the filler that makes up the rest.
QualityChoice ChooseQuality(int quality, const SizeWindow& window, const EncodeAtQuality& encode);

}  // namespace quillane
