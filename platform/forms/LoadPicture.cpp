#include "platform/forms/LoadPicture.h"

#include <algorithm>
#include <cstring>

#include "platform/RuntimeError.h"
#include "platform/gdi/BitmapPicture.h"
#include "platform/gdi/Gdi.h"

namespace quillane {

FilePicture::FilePicture(std::unique_ptr<PictureFile> file) : m_file(std::move(file)) {}

FilePicture::~FilePicture() = default;

BgrImage FilePicture::DecodeForPaint(int paintWidth, int paintHeight) const {
    return m_file->Decode(paintWidth, paintHeight);
}

std::int32_t FilePicture::Handle() {
    if (!m_bitmap) {
        const BgrImage pixels = m_file->Decode(0, 0);
        auto bitmap = BitmapPicture::Create(pixels.Width(), pixels.Height());
        if (!bitmap) RaiseError(ErrorNumber::OutOfMemory);
        const std::optional<BgrView> target = BitmapPixels(bitmap->Handle());
        if (!target) RaiseError(ErrorNumber::OutOfMemory);
        const auto rowBytes = static_cast<std::size_t>(pixels.Width()) * 3;
        for (int y = 0; y < pixels.Height(); ++y) {
            std::memcpy(target->Row(y), pixels.View().Row(y), rowBytes);
        }
        m_bitmap = std::move(bitmap);
    }
    return m_bitmap->Handle();
}

PictureRef LoadPicture(const std::string& path) {
    return std::make_shared<FilePicture>(PictureFile::Open(path));
}

}  // namespace quillane
