// Bitmaps and DIB sections: creation, deletion, description and pixel access.

#include <cstring>
#include <limits>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiObjects.h"

namespace quillane {

using namespace gdi_detail;

namespace {
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint16_t kTrueColourBits = 24;
}  // namespace

std::int32_t CreateDIBSection(std::int32_t hdc, const BITMAPINFO* pbmi, std::uint32_t usage,
                              void** ppvBits, std::int32_t hSection, std::uint32_t offset) {
    if (ppvBits != nullptr) *ppvBits = nullptr;
    if (hdc != 0 && FindDc(hdc) == nullptr) return 0;
    if (pbmi == nullptr || usage != DIB_RGB_COLORS || hSection != 0 || offset != 0) return 0;
    const BITMAPINFOHEADER& header = pbmi->bmiHeader;
    if (header.biSize < kInfoHeaderSize || header.biPlanes != 1 ||
        header.biBitCount != kTrueColourBits || header.biCompression != BI_RGB) {
        return 0;
    }
    // INT_MIN has no positive counterpart, so it cannot name a top-down height.
    if (header.biHeight == 0 || header.biHeight == std::numeric_limits<std::int32_t>::min()) {
        return 0;
    }
    const bool bottomUp = header.biHeight > 0;
    const std::int32_t rows = bottomUp ? header.biHeight : -header.biHeight;
    std::optional<BitmapObject> bitmap = AllocateBitmap(header.biWidth, rows, bottomUp);
    if (!bitmap) return 0;
    bitmap->DibSection = true;
    void* bits = bitmap->Memory.get();
    const std::int32_t handle = AddBitmap(std::move(*bitmap));
    if (ppvBits != nullptr) *ppvBits = bits;
    return handle;
}

std::int32_t CreateDIBSection(std::int32_t hdc, const BITMAPINFO* pbmi, std::uint32_t usage,
                              std::uint8_t** ppvBits, std::int32_t hSection, std::uint32_t offset) {
    void* bits = nullptr;
    const std::int32_t handle = CreateDIBSection(hdc, pbmi, usage, &bits, hSection, offset);
    if (ppvBits != nullptr) *ppvBits = static_cast<std::uint8_t*>(bits);
    return handle;
}

std::int32_t CreateCompatibleBitmap(std::int32_t hdc, std::int32_t width, std::int32_t height) {
    if (FindDc(hdc) == nullptr) return 0;
    std::optional<BitmapObject> bitmap = AllocateBitmap(width, height, false);
    if (!bitmap) return 0;
    return AddBitmap(std::move(*bitmap));
}

bool DeleteObject(std::int32_t hObject) {
    const BitmapObject* bitmap = FindBitmap(hObject);
    if (bitmap == nullptr) return false;
    if (bitmap->Stock) return true;
    if (bitmap->SelectedInto != 0 || bitmap->OwnedByClipboard) return false;
    Remove(hObject);
    return true;
}

std::int32_t GetObjectA(std::int32_t hObject, std::int32_t cbBuffer, void* pvObject) {
    const BitmapObject* bitmap = FindBitmap(hObject);
    if (bitmap == nullptr) return 0;
    constexpr auto kSize = static_cast<std::int32_t>(sizeof(BITMAP));
    if (pvObject == nullptr) return kSize;
    if (cbBuffer < kSize) return 0;
    BITMAP record;
    record.bmType = 0;
    record.bmWidth = bitmap->Width;
    record.bmHeight = bitmap->Height;
    record.bmWidthBytes = static_cast<std::int32_t>(bitmap->Stride);
    record.bmPlanes = 1;
    record.bmBitsPixel = kTrueColourBits;
    record.bmBits = bitmap->DibSection ? bitmap->Memory.get() : nullptr;
    std::memcpy(pvObject, &record, sizeof record);
    return kSize;
}

std::optional<BgrView> BitmapPixels(std::int32_t hBitmap) {
    const BitmapObject* bitmap = FindBitmap(hBitmap);
    if (bitmap == nullptr) return std::nullopt;
    return bitmap->TopDownView();
}

std::size_t DIBSectionBytes(const void* bits) {
    if (bits == nullptr) return 0;
    const BitmapObject* bitmap = FindDibSectionByBits(bits);
    return bitmap == nullptr ? 0 : bitmap->Bytes;
}

}  // namespace quillane
