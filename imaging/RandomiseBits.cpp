// Random fill of a cDIBSection: gray noise or colour noise without blue.

#include <bit>
#include <cmath>
#include <random>

#include "imaging/PixelGrid.h"
#include "imaging/TimeOfDay.h"
#include "imaging/cDIBSection.h"
#include "platform/base/Conversions.h"

namespace quillane {

namespace {

// A uniform generator over 0 <= r < 1 in single precision, restarted from a given value.
class NoiseSource {
  public:
    explicit NoiseSource(float fStart) : m_engine(std::bit_cast<std::uint32_t>(fStart)) {}

    // 24 random bits scaled into [0, 1): every value is exact in a float, and 1 never occurs.
    float Rnd() { return static_cast<float>(m_engine() >> 8) * (1.0f / 16777216.0f); }

    // 255 * r to the nearest integer, ties to even: 0..255, the two ends half as likely.
    std::uint8_t Byte() { return static_cast<std::uint8_t>(std::nearbyint(255.0f * Rnd())); }

  private:
    std::mt19937 m_engine;
};

}  // namespace

void cDIBSection::RandomiseBits(bool bGray) {
    PixelGrid tBits(CheckedBits(), BytesPerScanLine(), height());
    // Restarted from the time of day at every call, before any value is drawn.
    NoiseSource tNoise(Timer());
    const std::int32_t lLastX = CheckedMul32(CheckedSub32(Width(), 1), 3);
    const std::int32_t lLastY = CheckedSub32(height(), 1);

    if (bGray) {
        for (std::int32_t y = 0; y <= lLastY; ++y) {
            for (std::int32_t x = 0; x <= lLastX; x += 3) {
                const std::uint8_t bValue = tNoise.Byte();
                tBits.Write(x, y, bValue);
                tBits.Write(x + 1, y, bValue);
                tBits.Write(x + 2, y, bValue);
            }
        }
    } else {
        for (std::int32_t x = 0; x <= lLastX; x += 3) {
            for (std::int32_t y = 0; y <= lLastY; ++y) {
                tBits.Write(x, y, 0);
                tBits.Write(x + 1, y, tNoise.Byte());
                tBits.Write(x + 2, y, tNoise.Byte());
            }
        }
    }
}

}  // namespace quillane
