// The picture loader's front: the file opened safely, the format decided by content, the
// decoder chosen, and the turn from decoder failures into run-time errors that name the file.

#include "platform/picture/PictureFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <utility>

#include "platform/picture/FileSnapshot.h"
#include "platform/picture/PictureLimits.h"
#include "platform/picture/QtPictureDecoder.h"
#include "platform/picture/bmp/BmpCheck.h"
#include "platform/picture/bmp/BmpDirect.h"
#include "platform/picture/bmp/BmpPixels.h"
#include "platform/picture/colour/ColourProfile.h"
#include "platform/picture/colour/ColourTransform.h"
#include "platform/picture/exif/Orientation.h"
#include "platform/picture/jpeg/JpegDecoder.h"
#include "platform/picture/jpeg/JpegSource.h"
#include "platform/raster/Stretch.h"

namespace quillane {
namespace {

constexpr std::uint8_t kJpegStart[] = {0xFF, 0xD8};  // SOI: every JPEG starts with it
constexpr std::uint8_t kBmpStart[] = {'B', 'M'};

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash + 1 == path.size()) return path;
    return path.substr(slash + 1);
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> start) {
    return bytes.size() >= start.size() &&
           std::memcmp(bytes.data(), start.data(), start.size()) == 0;
}

// The part of a picture in its decoded pixels, which may be a shrunk copy: the edges widen to
// whole pixels of it, and the part never ends up empty.
PixelRectangle AreaInDecoded(const SourceArea& area, int width, int height, int decodedWidth,
                             int decodedHeight) {
    const double fx = double(decodedWidth) / width;
    const double fy = double(decodedHeight) / height;
    const int left = std::clamp(int(std::floor(area.Left * fx)), 0, decodedWidth - 1);
    const int top = std::clamp(int(std::floor(area.Top * fy)), 0, decodedHeight - 1);
    const int right = std::clamp(int(std::ceil(area.Right * fx)), left + 1, decodedWidth);
    const int bottom = std::clamp(int(std::ceil(area.Bottom * fy)), top + 1, decodedHeight);
    return {left, top, right - left, bottom - top};
}

// The rows of a part of a picture: rows above it are read and dropped, and of each row only the
// part is handed on. The whole picture passes straight through.
class CroppedRows : public BgrRowSource {
  public:
    CroppedRows(BgrRowSource& rows, const PixelRectangle& part)
        : m_rows(rows), m_part(part), m_skip(part.Top) {
        if (part.Width != rows.Width()) m_row.resize(std::size_t(rows.Width()) * 3);
    }
    int Width() const override { return m_part.Width; }
    int Height() const override { return m_part.Height; }
    bool ReadRow(std::uint8_t* row) override {
        std::uint8_t* whole = m_row.empty() ? row : m_row.data();
        for (; m_skip > 0; --m_skip) {
            if (!m_rows.ReadRow(whole)) return false;
        }
        if (!m_rows.ReadRow(whole)) return false;
        if (whole != row) {
            std::memcpy(row, whole + std::size_t(m_part.Left) * 3, std::size_t(m_part.Width) * 3);
        }
        return true;
    }

  private:
    BgrRowSource& m_rows;
    PixelRectangle m_part;
    int m_skip;
    std::vector<std::uint8_t> m_row;  // a whole row, when only a part of it is kept
};

}  // namespace

PictureFile::~PictureFile() = default;

void PictureFile::PrepareForHelperThreads() {
    if (QtLibrariesLoaded()) LoadQtReaders();
}

void PictureFile::MarkHelperThread() {
    BarQtReadersOnThisThread();
}

std::unique_ptr<PictureFile> PictureFile::Open(const std::string& path) {
    std::unique_ptr<PictureFile> file(new PictureFile);
    file->m_name = BaseName(path);
    auto opened = FileSnapshot::Open(path);
    if (!opened.Ok()) file->Fail(opened.Failure());
    auto head = opened.Value().ReadStart(sizeof kJpegStart);
    if (!head.Ok()) file->Fail(head.Failure());
    if (head.Value().empty()) file->Fail({ErrorNumber::InvalidPicture, "is empty"});

    if (StartsWith(head.Value(), kJpegStart)) {
        // Read as it is decoded, through the open file: a photograph is never held whole.
        file->m_jpeg = std::make_unique<FileSnapshot>(std::move(opened.Value()));
        auto header = ReadJpegHeader(file->JpegBytes());
        if (!header.Ok()) file->Fail(file->Changed().value_or(header.Failure()));
        file->m_format = Format::Jpeg;
        file->m_storedWidth = header.Value().Width;
        file->m_storedHeight = header.Value().Height;
        file->m_orientation = header.Value().Orientation;
    } else {
        auto bytes = opened.Value().ReadWhole();
        if (!bytes.Ok()) file->Fail(bytes.Failure());
        file->m_bytes = std::move(bytes.Value());
        if (file->m_bytes.empty()) file->Fail({ErrorNumber::InvalidPicture, "is empty"});
        if (StartsWith(file->m_bytes, kBmpStart)) {
            auto read = ReadBmpHeader(file->m_bytes);
            if (!read.Ok()) file->Fail(read.Failure());
            const BmpHeader& bmp = read.Value();
            if (auto failure = CheckBmpStructure(bmp, file->m_bytes)) file->Fail(*failure);
            file->m_format = Format::Bmp;
            file->m_bmp = std::make_shared<const BmpHeader>(bmp);
            file->m_storedWidth = static_cast<int>(bmp.biWidth);
            file->m_storedHeight = static_cast<int>(bmp.Rows());
            file->m_colour = BmpColourTransform(bmp, file->m_bytes);
            if (const std::optional<BmpPixelsInFile> rows = LocateBgrPixels(bmp, file->m_bytes)) {
                file->m_directTop = static_cast<std::ptrdiff_t>(rows->TopRowOffset);
                file->m_directStride = rows->Stride;
                file->m_directHeight = rows->Height;
            }
        } else {
            auto header = ReadQtHeader(file->m_bytes);
            if (!header.Ok()) file->Fail(header.Failure());
            file->m_format = Format::Other;
            file->m_storedWidth = header.Value().Width;
            file->m_storedHeight = header.Value().Height;
        }
    }
    if (auto failure = CheckPictureSize(file->m_storedWidth, file->m_storedHeight)) {
        file->Fail(*failure);
    }
    return file;
}

int PictureFile::Width() const {
    return OrientationSwapsSides(m_orientation) ? m_storedHeight : m_storedWidth;
}

int PictureFile::Height() const {
    return OrientationSwapsSides(m_orientation) ? m_storedWidth : m_storedHeight;
}

int PictureFile::ScaleDenominatorFor(int paintWidth, int paintHeight) const {
    if (m_format != Format::Jpeg) return 1;
    return DctScaleFor(m_storedWidth, m_storedHeight,
                       ShrinkNeedFor(m_orientation, paintWidth, paintHeight));
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
                                   ShrinkNeedFor(m_orientation, paintWidth, paintHeight))
                  : m_bmp && !m_bmp->DecodedByQt() ? DecodeBmpPixels(*m_bmp, m_bytes)
                                                   : DecodeWithQt(m_bytes, m_bmp != nullptr);
    // The size the picture was opened, measured and laid out with is the header's; pixels of
    // another size would be painted from the wrong rectangle.
    if (stored.Ok() && m_bmp &&
        (stored.Value().Width() != m_storedWidth || stored.Value().Height() != m_storedHeight)) {
        Fail(DamagedBmp("its data is not of the size its header says"));
    }
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
    return DecodeStretched(SourceArea{0, 0, double(Width()), double(Height())}, width, height);
}

BgrImage PictureFile::DecodeStretched(const SourceArea& area, int width, int height) const {
    auto painted = AllocatePicture(width, height);
    if (!painted.Ok()) Fail(painted.Failure());
    const PictureFailure noMemory{ErrorNumber::OutOfMemory,
                                  "needs more memory than is free (stretching it)"};
    const auto [paintWidth, paintHeight] = WholePaintSize(Width(), Height(), area, width, height);
    const bool ownBmp = m_bmp && !m_bmp->DecodedByQt();
    if ((m_format == Format::Jpeg && m_orientation == 1) || ownBmp) {
        // Row by row from the decoder into the filter: the decoded picture is never held whole.
        auto rows = ownBmp ? PictureResult(OpenBmpRows(*m_bmp, m_bytes, m_colour))
                           : OpenJpegRows(JpegBytes(), ScaleDenominatorFor(paintWidth, paintHeight),
                                          ShrinkNeedFor(m_orientation, paintWidth, paintHeight));
        std::optional<CroppedRows> cropped;
        if (rows.Ok()) {
            cropped.emplace(*rows.Value(),
                            AreaInDecoded(area, Width(), Height(), rows.Value()->Width(),
                                          rows.Value()->Height()));
        }
        const StretchOutcome outcome =
            rows.Ok() ? StretchBgr(*cropped, painted.Value().View()) : StretchOutcome::Done;
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
    const DecodedPixels decoded = DecodeView(paintWidth, paintHeight);
    const PixelRectangle part =
        AreaInDecoded(area, Width(), Height(), decoded.View.Width, decoded.View.Height);
    const ConstBgrView from(decoded.View.Row(part.Top) + std::ptrdiff_t{part.Left} * 3, part.Width,
                            part.Height, decoded.View.Stride);
    if (!StretchBgr(from, painted.Value().View())) Fail(noMemory);
    return std::move(painted.Value());
}

JpegSource PictureFile::JpegBytes() const {
    return JpegSource(m_jpeg->Descriptor(), m_jpeg->Size());
}

std::optional<PictureFailure> PictureFile::Changed() const {
    return m_jpeg ? m_jpeg->Changed() : std::nullopt;
}

void PictureFile::Fail(const PictureFailure& failure) const {
    RaiseError(failure.Number,
               StandardDescription(failure.Number) + ": '" + m_name + "' " + failure.Why);
}

}  // namespace quillane
