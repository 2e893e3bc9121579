#pragma once
// Helpers for tests that look inside a cDIBSection's memory (scan line 0 = bottom line).

#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/cDIBSection.h"

namespace quillane::testing_helpers {

inline std::uint8_t* ScanLine(const cDIBSection& picture, int scanLine) {
    return picture.DIBSectionBitsPtr() +
           static_cast<std::ptrdiff_t>(scanLine) * picture.BytesPerScanLine();
}

// Sets every byte of every pixel of one scan line (blue, green, red alike) from a per-pixel list.
inline void FillScanLine(cDIBSection& picture, int scanLine, const std::vector<int>& grays) {
    for (std::size_t x = 0; x < grays.size(); ++x)
        std::memset(ScanLine(picture, scanLine) + 3 * x, grays[x], 3);
}

// Every byte of the picture memory, fill bytes included.
inline std::vector<std::uint8_t> AllBytes(const cDIBSection& picture) {
    const auto* bits = picture.DIBSectionBitsPtr();
    return {bits, bits + static_cast<std::size_t>(picture.BytesPerScanLine()) * picture.height()};
}

// A picture whose every byte (fill bytes included) follows a pattern.
inline void FillPattern(cDIBSection& picture, int salt) {
    const int bytes = picture.BytesPerScanLine() * picture.height();
    for (int i = 0; i < bytes; ++i)
        picture.DIBSectionBitsPtr()[i] = static_cast<std::uint8_t>(i * 31 + salt);
}

}  // namespace quillane::testing_helpers
