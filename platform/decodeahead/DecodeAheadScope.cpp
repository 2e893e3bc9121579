#include "platform/decodeahead/DecodeAheadScope.h"

#include <utility>

#include "platform/decodeahead/DecodeAhead.h"

namespace quillane {
namespace {

std::vector<std::string> PathsOf(const std::vector<DecodeJob>& jobs) {
    std::vector<std::string> paths;
    paths.reserve(jobs.size());
    for (const DecodeJob& job : jobs) paths.push_back(job.Path);
    return paths;
}

}  // namespace

DecodeAheadScope::DecodeAheadScope(std::vector<DecodeJob> jobs)
    : m_paths(PathsOf(jobs)), m_ahead(std::make_unique<DecodeAhead>(std::move(jobs))) {
    m_previous = SetPictureSupplier([this](const std::string& path) { return TakeFor(path); });
}

DecodeAheadScope::~DecodeAheadScope() {
    SetPictureSupplier(std::move(m_previous));
}

void DecodeAheadScope::Begin(std::size_t index) {
    m_current = index;
}

void DecodeAheadScope::Finished(std::size_t index) {
    m_current.reset();
    m_ahead->Finished(index);
}

PictureRef DecodeAheadScope::TakeFor(const std::string& path) {
    if (!m_current || *m_current >= m_paths.size() || m_paths[*m_current] != path) return nullptr;
    const std::size_t index = *m_current;
    m_current.reset();  // one load per entry
    std::optional<DecodedPicture> ahead = m_ahead->Take(index);
    if (!ahead) return nullptr;
    if (ahead->OpenError) throw *ahead->OpenError;
    auto picture = std::make_shared<FilePicture>(std::move(ahead->File));
    if (!ahead->OutOfMemory) {
        picture->SetPaintedAhead(std::move(ahead->Painted), std::move(ahead->DecodeError),
                                 ahead->Area, ahead->PaintWidth, ahead->PaintHeight);
    }
    return picture;
}

}  // namespace quillane
