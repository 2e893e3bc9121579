#include "platform/forms/LoadPicture.h"

#include <algorithm>
#include <cstring>

#include "platform/base/RuntimeError.h"
#include "platform/gdi/BitmapPicture.h"
#include "platform/gdi/Gdi.h"

namespace quillane {

FilePicture::FilePicture(std::unique_ptr<PictureFile> file) : m_file(std::move(file)) {}

FilePicture::~FilePicture() = default;

namespace {
DecodeAheadScope* g_activeScope = nullptr;  // user-interface thread only
}  // namespace

void FilePicture::SetPaintedAhead(BgrImage painted, std::optional<RuntimeError> error, int width,
                                  int height) {
    m_aheadPainted = std::move(painted);
    m_aheadError = std::move(error);
    m_aheadWidth = width;
    m_aheadHeight = height;
}

BgrImage FilePicture::PaintWhole(int width, int height) {
    if (m_aheadPainted && width == m_aheadWidth && height == m_aheadHeight) {
        BgrImage painted = std::move(*m_aheadPainted);
        std::optional<RuntimeError> error = std::move(m_aheadError);
        m_aheadPainted.reset();
        m_aheadError.reset();
        if (error) throw *error;
        return painted;
    }
    return m_file->DecodeStretched(width, height);
}

DecodedPixels FilePicture::DecodeForPaint(int paintWidth, int paintHeight) {
    return m_file->DecodeView(paintWidth, paintHeight);
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
    if (g_activeScope) {
        if (std::optional<DecodedPicture> ahead = g_activeScope->TakeFor(path)) {
            if (ahead->OpenError) throw *ahead->OpenError;
            auto picture = std::make_shared<FilePicture>(std::move(ahead->File));
            if (!ahead->OutOfMemory) {
                picture->SetPaintedAhead(std::move(ahead->Painted), std::move(ahead->DecodeError),
                                         ahead->PaintWidth, ahead->PaintHeight);
            }
            return picture;
        }
    }
    return std::make_shared<FilePicture>(PictureFile::Open(path));
}

namespace {
std::vector<std::string> PathsOf(const std::vector<DecodeJob>& jobs) {
    std::vector<std::string> paths;
    paths.reserve(jobs.size());
    for (const DecodeJob& job : jobs) paths.push_back(job.Path);
    return paths;
}
}  // namespace

DecodeAheadScope::DecodeAheadScope(std::vector<DecodeJob> jobs)
    : m_paths(PathsOf(jobs)), m_ahead(std::move(jobs)), m_previous(g_activeScope) {
    g_activeScope = this;
}

DecodeAheadScope::~DecodeAheadScope() {
    g_activeScope = m_previous;
}

void DecodeAheadScope::Begin(std::size_t index) {
    m_current = index;
}

void DecodeAheadScope::Finished(std::size_t index) {
    m_current.reset();
    m_ahead.Finished(index);
}

std::optional<DecodedPicture> DecodeAheadScope::TakeFor(const std::string& path) {
    if (!m_current || *m_current >= m_paths.size() || m_paths[*m_current] != path) {
        return std::nullopt;
    }
    const std::size_t index = *m_current;
    m_current.reset();  // one load per entry
    return m_ahead.Take(index);
}

}  // namespace quillane
