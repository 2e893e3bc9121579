// Device contexts: memory contexts that hold one bitmap each, and the screen context.

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiObjects.h"

namespace quillane {

using namespace gdi_detail;

namespace {
// The one window the layer knows; the same value as the desktop window has on Windows.
constexpr std::int32_t kDesktopWindow = 0x00010010;
}  // namespace

std::int32_t CreateCompatibleDC(std::int32_t hdc) {
    if (hdc != 0 && FindDc(hdc) == nullptr) return 0;
    const std::int32_t stock = StockBitmap();
    if (stock == 0) return 0;
    return AddDc(DcObject{DcKind::Memory, stock});
}

bool DeleteDC(std::int32_t hdc) {
    DcObject* dc = FindDc(hdc);
    // A screen context goes back through ReleaseDC, as GetDC's contract says.
    if (dc == nullptr || dc->Kind != DcKind::Memory) return false;
    if (BitmapObject* bitmap = FindBitmap(dc->Bitmap); bitmap != nullptr && !bitmap->Stock) {
        bitmap->SelectedInto = 0;
    }
    Remove(hdc);
    return true;
}

std::int32_t SelectObject(std::int32_t hdc, std::int32_t hObject) {
    DcObject* dc = FindDc(hdc);
    BitmapObject* bitmap = FindBitmap(hObject);
    if (dc == nullptr || bitmap == nullptr || dc->Kind != DcKind::Memory) return 0;
    const std::int32_t previous = dc->Bitmap;
    if (previous == hObject) return previous;
    // One bitmap, one context: a second holder could draw into pixels the first one owns.
    if (!bitmap->Stock && (bitmap->SelectedInto != 0 || bitmap->OwnedByClipboard)) return 0;
    if (BitmapObject* old = FindBitmap(previous); old != nullptr && !old->Stock) {
        old->SelectedInto = 0;
    }
    if (!bitmap->Stock) bitmap->SelectedInto = hdc;
    dc->Bitmap = hObject;
    return previous;
}

std::int32_t SelectedBitmap(std::int32_t hdc) {
    const DcObject* dc = FindDc(hdc);
    return dc == nullptr ? 0 : dc->Bitmap;
}

std::int32_t GetDesktopWindow() {
    return kDesktopWindow;
}

std::int32_t GetDC(std::int32_t hwnd) {
    if (hwnd != 0 && hwnd != kDesktopWindow) return 0;
    return AddDc(DcObject{DcKind::Screen, 0});
}

bool ReleaseDC(std::int32_t hwnd, std::int32_t hdc) {
    (void)hwnd;  // every screen context belongs to the desktop
    const DcObject* dc = FindDc(hdc);
    if (dc == nullptr || dc->Kind != DcKind::Screen) return false;
    Remove(hdc);
    return true;
}

}  // namespace quillane
