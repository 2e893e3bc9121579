#include "platform/forms/LoadPicture.h"

#include <cstring>
#include <utility>

#include "platform/base/RuntimeError.h"
#include "platform/gdi/BitmapPicture.h"
#include "platform/gdi/Gdi.h"

namespace quillane {

FilePicture::FilePicture(std::unique_ptr<PictureFile> file) : m_file(std::move(file)) {}

FilePicture::~FilePicture() = default;

namespace {

PictureSupplier& Supplier() {
    static PictureSupplier supplier;  // user-interface thread only
    return supplier;
}

}  // namespace

void FilePicture::SetPaintedAhead(BgrImage painted, std::optional<RuntimeError> error,
                                  const SourceArea& area, int width, int height) {
    m_aheadPainted = std::move(painted);
    m_aheadError = std::move(error);
    m_aheadArea = area;
    m_aheadWidth = width;
    m_aheadHeight = height;
}

std::optional<BgrImage> FilePicture::PaintRegion(const SourceArea& area, int width, int height) {
    if (m_aheadPainted && area == m_aheadArea && width == m_aheadWidth && height == m_aheadHeight) {
        BgrImage painted = std::move(*m_aheadPainted);
        std::optional<RuntimeError> error = std::move(m_aheadError);
        m_aheadPainted.reset();
        m_aheadError.reset();
        if (error) throw *error;
        return painted;
    }
    return m_file->DecodeStretched(area, width, height);
}

std::int32_t FilePicture::Handle() {
    if (!m_bitmap) {
        const DecodedPixels decoded = m_file->DecodeView(0, 0);
        const ConstBgrView pixels = decoded.View;
        auto bitmap = BitmapPicture::Create(pixels.Width, pixels.Height);
        if (!bitmap) RaiseError(ErrorNumber::OutOfMemory);
        const std::optional<BgrView> target = BitmapPixels(bitmap->Handle());
        if (!target) RaiseError(ErrorNumber::OutOfMemory);
        const auto rowBytes = static_cast<std::size_t>(pixels.Width) * 3;
        for (int y = 0; y < pixels.Height; ++y) {
            std::memcpy(target->Row(y), pixels.Row(y), rowBytes);
        }
        m_bitmap = std::move(bitmap);
    }
    return m_bitmap->Handle();
}

PictureRef LoadPicture(const std::string& path) {
    if (Supplier()) {
        if (PictureRef supplied = Supplier()(path)) return supplied;
    }
    return std::make_shared<FilePicture>(PictureFile::Open(path));
}

PictureSupplier SetPictureSupplier(PictureSupplier supplier) {
    return std::exchange(Supplier(), std::move(supplier));
}

}  // namespace quillane
