#include "jpeg/SizeWindow.h"

#include <algorithm>
#include <utility>

namespace quillane {

namespace {

constexpr int kHighestQuality = 100;

// Encodes one quality after another into a scratch buffer, counting, and hands encodings over
// to be kept without copying them.
class Trials {
  public:
    Trials(const EncodeAtQuality& encode, QualityChoice& choice)
        : m_encode(encode), m_choice(choice) {}

    // The size of the file at the quality; -1 when the encoder failed.
    std::int64_t SizeAt(int quality) {
        ++m_choice.Encodes;
        if (!m_encode(quality, m_bytes)) return -1;
        m_quality = quality;
        return static_cast<std::int64_t>(m_bytes.size());
    }
    // The last encoding becomes the choice's, or is kept aside in `into`.
    void Keep() { Keep(m_choice.Quality, m_choice.Bytes); }
    void Keep(int& quality, std::vector<std::uint8_t>& into) {
        quality = m_quality;
        std::swap(into, m_bytes);
    }

  private:
    const EncodeAtQuality& m_encode;
    QualityChoice& m_choice;
    std::vector<std::uint8_t> m_bytes;
    int m_quality = 0;
};

}  // namespace

QualityChoice ChooseQuality(int quality, const SizeWindow& window, const EncodeAtQuality& encode) {
    using Outcome = QualityChoice::Outcome;
    QualityChoice choice;
    Trials trials(encode, choice);
    std::int64_t size = trials.SizeAt(quality);
    if (size < 0) return choice;
    trials.Keep();
    if (window.Over(size)) {
        // Halving [lowest, quality - 1] for the highest quality whose file is small enough.
        choice.SmallestBytes = size;
        bool found = false;
        for (int low = std::min(kLowestWindowQuality, quality), high = quality - 1; low <= high;) {
            const int middle = low + (high - low) / 2;
            size = trials.SizeAt(middle);
            if (size < 0) return choice;
            choice.SmallestBytes = std::min(choice.SmallestBytes, size);
            if (window.Over(size)) {
                high = middle - 1;
            } else {
                trials.Keep();
                found = true;
                low = middle + 1;
            }
        }
        if (!found) {
            choice.Result = Outcome::TooLarge;
            return choice;
        }
    } else if (size < window.MinBytes) {
        // Halving [quality + 1, 100] for the lowest quality whose file is large enough; the
        // choice meanwhile holds the highest known to be under MinBytes.
        int reachingQuality = 0;
        std::vector<std::uint8_t> reaching;
        for (int low = quality + 1, high = kHighestQuality; low <= high;) {
            const int middle = low + (high - low) / 2;
            size = trials.SizeAt(middle);
            if (size < 0) return choice;
            if (size >= window.MinBytes) {
                trials.Keep(reachingQuality, reaching);
                high = middle - 1;
            } else {
                trials.Keep();
                low = middle + 1;
            }
        }
        // One step up may jump over the whole window; filler then makes up the difference.
        if (!reaching.empty() && !window.Over(static_cast<std::int64_t>(reaching.size()))) {
            choice.Quality = reachingQuality;
            choice.Bytes = std::move(reaching);
        }
    }
    choice.Result = Outcome::Fits;
    choice.FillerBytes =
        std::max<std::int64_t>(0, window.MinBytes - static_cast<std::int64_t>(choice.Bytes.size()));
    return choice;
}

}  // namespace quillane
