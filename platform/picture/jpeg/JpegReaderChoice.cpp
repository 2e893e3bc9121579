#include "platform/picture/jpeg/JpegReaderChoice.h"

#include <cstdlib>
#include <cstring>

#include "platform/picture/jpeg/progressive/JpegProgressiveReader.h"
#include "platform/picture/jpeg/sequential/JpegSequentialReader.h"

namespace quillane {
namespace {

constexpr int kDcOnlyScale = 8;   // one sample a block, from the DC values alone
constexpr int kQuarterScale = 4;  // 2x2 samples a block
constexpr int kHalfScale = 2;     // 4x4 samples a block
constexpr int kFullScale = 1;

// Whether QUILLANE_PLAIN_JPEG asks for libjpeg on every file. Read at each choice: nothing in
// the program sets it, and a test may.
bool PlainJpegForced() {
    const char* plain = std::getenv("QUILLANE_PLAIN_JPEG");
    return plain && *plain && std::strcmp(plain, "0") != 0;
}

// Shrunk by eight, a block's one sample is its DC value: every component's grid of DC values
// must still reach the need.
bool DcGridsReach(const JpegFrame& frame, JpegShrinkNeed need) {
    const int maxHorizontal = frame.MaxHorizontal(), maxVertical = frame.MaxVertical();
    for (const JpegFrameComponent& c : frame.Components) {
        const std::int64_t wide = CeilDiv(std::int64_t{frame.Width} * c.Horizontal, maxHorizontal);
        const std::int64_t high = CeilDiv(std::int64_t{frame.Height} * c.Vertical, maxVertical);
        if (CeilDiv(wide, 8) < need.Width || CeilDiv(high, 8) < need.Height) return false;
    }
    return true;
}

}  // namespace

JpegReader ChooseJpegReader(const JpegFrame& frame, int scaleDenominator, JpegShrinkNeed need) {
    if (PlainJpegForced()) return JpegReader::Libjpeg;
    const bool progressive = !ProgressiveReaderRefuses(frame);
    const bool sequential = !SequentialReaderRefuses(frame);
    if (!progressive && !sequential) return JpegReader::Libjpeg;
    // Shrunk by four and two, coarser components are spread over luma's grid smoothly as
    // libjpeg does when it cannot scale them, so our readers take every file they can read.
    if (scaleDenominator == kQuarterScale) {
        return progressive ? JpegReader::ProgressiveByFour : JpegReader::SequentialByFour;
    }
    if (scaleDenominator == kHalfScale) {
        return progressive ? JpegReader::ProgressiveByTwo : JpegReader::SequentialByTwo;
    }
    // libjpeg streams a sequential file at full size, but holds a progressive one whole.
    if (scaleDenominator == kFullScale && progressive) return JpegReader::ProgressiveFullSize;
    if (scaleDenominator == kDcOnlyScale) {
        if (DcGridsReach(frame, need)) {
            return progressive ? JpegReader::ProgressiveByEight : JpegReader::SequentialByEight;
        }
        // libjpeg would hold every coefficient of every block of a progressive file to shrink
        // it by eight; ours shrinks it by four in a fraction of that memory, with colour from
        // finer samples. A sequential file libjpeg streams.
        if (progressive) return JpegReader::ProgressiveByFour;
    }
    return JpegReader::Libjpeg;
}

bool IsSequential(JpegReader reader) {
    return reader == JpegReader::SequentialByEight || reader == JpegReader::SequentialByFour ||
           reader == JpegReader::SequentialByTwo;
}

int ScaleOf(JpegReader reader) {
    switch (reader) {
        case JpegReader::ProgressiveByEight:
        case JpegReader::SequentialByEight:
            return kDcOnlyScale;
        case JpegReader::ProgressiveByFour:
        case JpegReader::SequentialByFour:
            return kQuarterScale;
        case JpegReader::ProgressiveByTwo:
        case JpegReader::SequentialByTwo:
            return kHalfScale;
        case JpegReader::ProgressiveFullSize:
        case JpegReader::Libjpeg:
            return kFullScale;
    }
    return kFullScale;
}

}  // namespace quillane
