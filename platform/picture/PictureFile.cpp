// The picture loader's front: a safe snapshot of the file, the format decided by content, the
// size limits, and the turn from decoder failures into run-time errors that name the file.

#include "platform/picture/PictureFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/picture/ColourProfile.h"
#include "platform/picture/ColourTransform.h"
#include "platform/picture/PictureDecoding.h"
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

  private:
    int m_fd;
};

// The whole file, read once. Only regular files are opened: stat decides first, and
// O_NONBLOCK keeps a FIFO swapped in between stat and open from blocking the open.
PictureResult<std::vector<std::uint8_t>> ReadSnapshot(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return AccessFailure(errno);
    if (auto failure = CheckRegularFile(info)) return *failure;

    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) return AccessFailure(errno);
    if (::fstat(file.Get(), &info) != 0) return AccessFailure(errno);
    if (auto failure = CheckRegularFile(info)) return *failure;

    // The measured length wins over the one stat gave: the file may change while it is read.
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size) + kReadChunk);
    for (;;) {
        const std::size_t used = bytes.size();
        if (static_cast<std::int64_t>(used) > kMaxFileBytes) {
            return PictureFailure{ErrorNumber::OutOfMemory, "is larger than the 512 MiB limit"};
        }
        bytes.resize(used + kReadChunk);
        const ssize_t got = ::read(file.Get(), bytes.data() + used, kReadChunk);
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

bool StartsWithJpeg(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= sizeof kJpegStart &&
           std::memcmp(bytes.data(), kJpegStart, sizeof kJpegStart) == 0;
}

bool StartsWithBmp(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= sizeof kBmpStart &&
           std::memcmp(bytes.data(), kBmpStart, sizeof kBmpStart) == 0;
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

PictureFile::~PictureFile() = default;

std::unique_ptr<PictureFile> PictureFile::Open(const std::string& path) {
    std::unique_ptr<PictureFile> file(new PictureFile);
    file->m_name = BaseName(path);
    auto bytes = ReadSnapshot(path);
    if (!bytes.Ok()) file->Fail(bytes.Failure());
    file->m_bytes = std::move(bytes.Value());
    if (file->m_bytes.empty()) file->Fail({ErrorNumber::InvalidPicture, "is empty"});

    if (StartsWithJpeg(file->m_bytes)) {
        auto header = ReadJpegHeader(file->m_bytes);
        if (!header.Ok()) file->Fail(header.Failure());
        file->m_format = Format::Jpeg;
        file->m_storedWidth = header.Value().Width;
        file->m_storedHeight = header.Value().Height;
        file->m_orientation = header.Value().Orientation;
    } else {
        if (StartsWithBmp(file->m_bytes)) {
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
                      ? DecodeJpeg(m_bytes, ScaleDenominatorFor(paintWidth, paintHeight),
                                   ShrinkNeedFor(paintWidth, paintHeight))
                      : DecodeWithQt(m_bytes, m_format == Format::Bmp);
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
        auto rows =
            OpenJpegRows(m_bytes, ScaleDenominatorFor(width, height), ShrinkNeedFor(width, height));
        if (!rows.Ok()) Fail(rows.Failure());
        switch (StretchBgr(*rows.Value(), painted.Value().View())) {
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

void PictureFile::Fail(const PictureFailure& failure) const {
    RaiseError(failure.Number,
               StandardDescription(failure.Number) + ": '" + m_name + "' " + failure.Why);
}

}  // namespace quillane
