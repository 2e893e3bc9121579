// The picture loader's front: a safe snapshot of the file, the format decided by content, the
// size limits, and the turn from decoder failures into run-time errors that name the file.

#include "platform/picture/PictureFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <span>
#include <utility>

#include "platform/picture/colour/ColourProfile.h"
#include "platform/picture/colour/ColourTransform.h"
#include "platform/picture/PictureLimits.h"
#include "platform/raster/Stretch.h"

namespace quillane {
namespace {

constexpr std::uint8_t kJpegStart[] = {0xFF, 0xD8};  // SOI: every JPEG starts with it
constexpr std::uint8_t kBmpStart[] = {'B', 'M'};
constexpr int kScaleDenominators[] = {8, 4, 2};  // libjpeg's cheap DCT shrink factors
constexpr std::size_t kReadChunk = std::size_t{1} << 20;

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash + 1 == path.size()) return path;
    return path.substr(slash + 1);
}

PictureFailure AccessFailure(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return {ErrorNumber::FileNotFound, "does not exist"};
        case EACCES:
        case EPERM:
            return {ErrorNumber::PathFileAccessError, "cannot be read (permission denied)"};
        case ELOOP:
            return {ErrorNumber::PathFileAccessError, "is a symbolic link that leads nowhere"};
        default:
            return {ErrorNumber::PathFileAccessError,
                    std::string("cannot be read (") + std::strerror(error) + ")"};
    }
}

std::optional<PictureFailure> CheckRegularFile(const struct stat& info) {
    if (S_ISDIR(info.st_mode))
        return PictureFailure{ErrorNumber::PathFileAccessError, "is a folder"};
    if (!S_ISREG(info.st_mode)) {
        // Reading a FIFO would wait forever for a writer; devices and sockets are no pictures.
        return PictureFailure{ErrorNumber::PathFileAccessError,
                              "is not a regular file (a device, FIFO or socket)"};
    }
    if (info.st_size > kMaxFileBytes) {
        return PictureFailure{ErrorNumber::OutOfMemory, "is larger than the 512 MiB limit"};
    }
    return std::nullopt;
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int Get() const { return m_fd; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            if (m_fd >= 0) ::close(m_fd);
            m_fd = other.Release();
        }
        return *this;
    }
    // Hands the descriptor over; this one no longer closes it.
    int Release() { return std::exchange(m_fd, -1); }

  private:
    int m_fd;
};

// Only regular files are opened: stat decides first, and O_NONBLOCK keeps a FIFO swapped in
// between stat and open from blocking the open. `info` ends as the open file's own.
std::optional<PictureFailure> OpenRegular(const std::string& path, FileDescriptor& file,
                                          struct stat& info) {
    if (::stat(path.c_str(), &info) != 0) return AccessFailure(errno);
    if (auto failure = CheckRegularFile(info)) return failure;
    file = FileDescriptor(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) return AccessFailure(errno);
    if (::fstat(file.Get(), &info) != 0) return AccessFailure(errno);
    return CheckRegularFile(info);
}

// The whole file, read once.
PictureResult<std::vector<std::uint8_t>> ReadWhole(int file, const struct stat& info) {
    // The measured length wins over the one stat gave: the file may change while it is read.
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size) + kReadChunk);
    for (;;) {
        const std::size_t used = bytes.size();
        if (static_cast<std::int64_t>(used) > kMaxFileBytes) {
            return PictureFailure{ErrorNumber::OutOfMemory, "is larger than the 512 MiB limit"};
        }
        bytes.resize(used + kReadChunk);
        const ssize_t got = ::read(file, bytes.data() + used, kReadChunk);
        if (got < 0 && errno == EINTR) {
            bytes.resize(used);
            continue;
        }
        if (got < 0) return AccessFailure(errno);
        bytes.resize(used + static_cast<std::size_t>(got));
        if (got == 0) break;
    }
    // No shrink_to_fit: it would copy the whole file once more, doubling the peak for a large
    // picture, to give back at most one chunk.
    return bytes;
}

// What changes when a file's content does (the open descriptor keeps the file itself).
FileContentStamp StampOf(const struct stat& info) {
    return {static_cast<long long>(info.st_size),
            info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec};
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> start) {
    return bytes.size() >= start.size() &&
           std::memcmp(bytes.data(), start.data(), start.size()) == 0;
}

}  // namespace

std::optional<PictureFailure> CheckPictureSize(std::int64_t width, std::int64_t height) {
    // Overflow guard: the sizes must be what int and the 64-bit products below can hold.
    if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX) {
        return PictureFailure{ErrorNumber::InvalidPicture, "has an impossible size (" +
                                                               std::to_string(width) + " x " +
                                                               std::to_string(height) + " pixels)"};
    }
    // Policy cap: far beyond any photograph, well below what would exhaust a desktop's memory.
    if (width * height > kMaxPixels) {
        return PictureFailure{ErrorNumber::OutOfMemory,
                              "is " + std::to_string(width) + " x " + std::to_string(height) +
                                  " pixels, more than the 256-megapixel limit"};
    }
    return std::nullopt;
}

std::optional<PictureFailure> CheckBufferSize(std::int64_t width, std::int64_t height,
                                              int bytesPerPixel) {
    if (auto failure = CheckPictureSize(width, height)) return failure;
    // Rows padded to 4 bytes, as BgrImage lays them out; the pixel cap keeps this in range.
    const std::int64_t stride = (width * bytesPerPixel + 3) & ~std::int64_t{3};
    if (stride * height > kMaxBufferBytes) {
        return PictureFailure{ErrorNumber::OutOfMemory,
                              "needs more than 1 GiB of memory to decode"};
    }
    return std::nullopt;
}

PictureResult<BgrImage> AllocatePicture(int width, int height) {
    if (auto failure = CheckBufferSize(width, height, 3)) return *failure;
    auto image = BgrImage::Allocate(width, height);
    if (!image) {
        return PictureFailure{ErrorNumber::OutOfMemory, "needs more memory than is free (" +
                                                            std::to_string(width) + " x " +
                                                            std::to_string(height) + " pixels)"};
    }
    return std::move(*image);
}

PictureFile::~PictureFile() {
    if (m_jpegFile >= 0) ::close(m_jpegFile);
}

std::unique_ptr<PictureFile> PictureFile::Open(const std::string& path) {
    std::unique_ptr<PictureFile> file(new PictureFile);
    file->m_name = BaseName(path);
    FileDescriptor opened(-1);
    struct stat info {};
    if (auto failure = OpenRegular(path, opened, info)) file->Fail(*failure);

    std::uint8_t start[2] = {};
    ssize_t got = 0;
    do {
        got = ::pread(opened.Get(), start, sizeof start, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) file->Fail(AccessFailure(errno));
    if (got == 0) file->Fail({ErrorNumber::InvalidPicture, "is empty"});
    const std::span<const std::uint8_t> head(start, static_cast<std::size_t>(got));

    if (StartsWith(head, kJpegStart)) {
        // Read as it is decoded, through the open file: a photograph is never held whole.
        file->m_jpegSize = static_cast<std::size_t>(info.st_size);
        file->m_jpegStamp = StampOf(info);
        file->m_jpegFile = opened.Release();
        auto header = ReadJpegHeader(file->JpegBytes());
        if (!header.Ok()) file->Fail(file->Changed().value_or(header.Failure()));
        file->m_format = Format::Jpeg;
        file->m_storedWidth = header.Value().Width;
        file->m_storedHeight = header.Value().Height;
        file->m_orientation = header.Value().Orientation;
    } else {
        auto bytes = ReadWhole(opened.Get(), info);
        if (!bytes.Ok()) file->Fail(bytes.Failure());
        file->m_bytes = std::move(bytes.Value());
        if (file->m_bytes.empty()) file->Fail({ErrorNumber::InvalidPicture, "is empty"});
        if (StartsWith(file->m_bytes, kBmpStart)) {
            if (auto failure = CheckBmpStructure(file->m_bytes)) file->Fail(*failure);
        }
        auto header = ReadQtHeader(file->m_bytes);
        if (!header.Ok()) file->Fail(header.Failure());
        file->m_format = header.Value().Bmp ? Format::Bmp : Format::Other;
        file->m_storedWidth = header.Value().Width;
        file->m_storedHeight = header.Value().Height;
        if (file->m_format == Format::Bmp) file->m_colour = BmpColourTransform(file->m_bytes);
        if (file->m_format == Format::Bmp) {
            const std::optional<BmpPixelsInFile> rows = LocateBgrPixels(file->m_bytes);
            if (rows && rows->Width == file->m_storedWidth &&
                rows->Height == file->m_storedHeight) {
                file->m_directTop = static_cast<std::ptrdiff_t>(rows->TopRowOffset);
                file->m_directStride = rows->Stride;
                file->m_directHeight = rows->Height;
            }
        }
    }
    if (auto failure = CheckPictureSize(file->m_storedWidth, file->m_storedHeight)) {
        file->Fail(*failure);
    }
    return file;
}

int PictureFile::Width() const {
    return m_orientation >= 5 ? m_storedHeight : m_storedWidth;
}

int PictureFile::Height() const {
    return m_orientation >= 5 ? m_storedWidth : m_storedHeight;
}

int PictureFile::ScaleDenominatorFor(int paintWidth, int paintHeight) const {
    if (m_format != Format::Jpeg || paintWidth <= 0 || paintHeight <= 0) return 1;
    // The paint size is upright; the DCT scale applies to the stored frame.
    const bool swap = m_orientation >= 5;
    const std::int64_t needWidth = std::int64_t{kMargin} * (swap ? paintHeight : paintWidth);
    const std::int64_t needHeight = std::int64_t{kMargin} * (swap ? paintWidth : paintHeight);
    for (const int denominator : kScaleDenominators) {
        // libjpeg rounds a scaled size up.
        const std::int64_t width = (std::int64_t{m_storedWidth} + denominator - 1) / denominator;
        const std::int64_t height = (std::int64_t{m_storedHeight} + denominator - 1) / denominator;
        if (width >= needWidth && height >= needHeight) return denominator;
    }
    return 1;
}

// The paint size times the margin, turned into the stored frame.
JpegShrinkNeed PictureFile::ShrinkNeedFor(int paintWidth, int paintHeight) const {
    const bool swap = m_orientation >= 5;
    return {std::int64_t{kMargin} * std::max(0, swap ? paintHeight : paintWidth),
            std::int64_t{kMargin} * std::max(0, swap ? paintWidth : paintHeight)};
}

BgrImage PictureFile::Decode(int paintWidth, int paintHeight) const {
    if (m_directHeight > 0) {
        const ConstBgrView rows(m_bytes.data() + m_directTop, m_storedWidth, m_directHeight,
                                m_directStride);
        auto copy = AllocatePicture(rows.Width, rows.Height);
        if (!copy.Ok()) Fail(copy.Failure());
        const auto rowBytes = static_cast<std::size_t>(rows.Width) * 3;
        for (int y = 0; y < rows.Height; ++y) {
            std::memcpy(copy.Value().View().Row(y), rows.Row(y), rowBytes);
        }
        if (m_colour) ConvertToSrgb(*m_colour, copy.Value().View());
        return std::move(copy.Value());
    }
    auto stored = m_format == Format::Jpeg
                      ? DecodeJpeg(JpegBytes(), ScaleDenominatorFor(paintWidth, paintHeight),
                                   ShrinkNeedFor(paintWidth, paintHeight))
                      : DecodeWithQt(m_bytes, m_format == Format::Bmp);
    if (auto changed = Changed()) Fail(*changed);
    if (!stored.Ok()) Fail(stored.Failure());
    if (m_colour) ConvertToSrgb(*m_colour, stored.Value().View());
    auto upright = ApplyOrientation(std::move(stored.Value()), m_orientation);
    if (!upright.Ok()) Fail(upright.Failure());
    return std::move(upright.Value());
}

DecodedPixels PictureFile::DecodeView(int paintWidth, int paintHeight) const {
    DecodedPixels pixels;
    // The file's own rows are painted in place only when they are sRGB already.
    if (m_directHeight > 0 && !m_colour) {
        pixels.View = ConstBgrView(m_bytes.data() + m_directTop, m_storedWidth, m_directHeight,
                                   m_directStride);
        return pixels;
    }
    pixels.Owner = Decode(paintWidth, paintHeight);
    pixels.View = std::as_const(pixels.Owner).View();
    return pixels;
}

BgrImage PictureFile::DecodeStretched(int width, int height) const {
    auto painted = AllocatePicture(width, height);
    if (!painted.Ok()) Fail(painted.Failure());
    const PictureFailure noMemory{ErrorNumber::OutOfMemory,
                                  "needs more memory than is free (stretching it)"};
    if (m_format == Format::Jpeg && m_orientation == 1) {
        // Row by row from the decoder into the filter: the decoded picture is never held whole.
        auto rows = OpenJpegRows(JpegBytes(), ScaleDenominatorFor(width, height),
                                 ShrinkNeedFor(width, height));
        const StretchOutcome outcome =
            rows.Ok() ? StretchBgr(*rows.Value(), painted.Value().View()) : StretchOutcome::Done;
        // Whatever was read of a file whose content changed meanwhile may be a mix of both.
        if (auto changed = Changed()) Fail(*changed);
        if (!rows.Ok()) Fail(rows.Failure());
        switch (outcome) {
            case StretchOutcome::Done:
                return std::move(painted.Value());
            case StretchOutcome::OutOfMemory:
                Fail(noMemory);
            case StretchOutcome::SourceFailed:
                Fail(rows.Value()->Failure());
        }
    }
    const DecodedPixels decoded = DecodeView(width, height);
    if (!StretchBgr(decoded.View, painted.Value().View())) Fail(noMemory);
    return std::move(painted.Value());
}

JpegSource PictureFile::JpegBytes() const {
    return JpegSource(m_jpegFile, m_jpegSize);
}

std::optional<PictureFailure> PictureFile::Changed() const {
    if (m_jpegFile < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(m_jpegFile, &info) != 0) return AccessFailure(errno);
    if (StampOf(info) == m_jpegStamp) return std::nullopt;
    return PictureFailure{ErrorNumber::PathFileAccessError, "changed while it was being read"};
}

void PictureFile::Fail(const PictureFailure& failure) const {
    RaiseError(failure.Number,
               StandardDescription(failure.Number) + ": '" + m_name + "' " + failure.Why);
}

}  // namespace quillane
