#include "platform/gdi/BitmapPicture.h"

#include "platform/base/RuntimeError.h"
#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiObjects.h"

namespace quillane {

using namespace gdi_detail;

std::shared_ptr<BitmapPicture> BitmapPicture::Create(int width, int height) {
    std::optional<BitmapObject> bitmap = AllocateBitmap(width, height, false);
    if (!bitmap) return nullptr;
    return Adopt(AddBitmap(std::move(*bitmap)));
}

std::shared_ptr<BitmapPicture> BitmapPicture::Adopt(std::int32_t hBitmap) {
    const BitmapObject* bitmap = FindBitmap(hBitmap);
    if (bitmap == nullptr || bitmap->Stock || bitmap->OwnedByClipboard) return nullptr;
    return std::shared_ptr<BitmapPicture>(
        new BitmapPicture(hBitmap, bitmap->Width, bitmap->Height));
}

BitmapPicture::~BitmapPicture() {
    // A context still holding the bitmap gets the stock bitmap back, so it never draws into
    // freed pixels.
    ForceDeleteBitmap(m_hBitmap);
}

}  // namespace quillane
