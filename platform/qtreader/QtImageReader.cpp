// Qt's reader is maintained and fuzzed; this module only hands what it reads to the picture
// loader, which bounds its memory and turns its result into BGR.

#include "platform/qtreader/QtImageReader.h"

#include <QBuffer>
#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace quillane {
namespace {

// A reader over the bytes without copying them. The QByteArray and QBuffer must outlive it.
class ByteReader {
  public:
    ByteReader(const std::uint8_t* bytes, std::size_t size)
        : m_data(QByteArray::fromRawData(reinterpret_cast<const char*>(bytes),
                                         static_cast<qsizetype>(size))),
          m_buffer(&m_data) {
        m_buffer.open(QIODevice::ReadOnly);
        m_reader.setDevice(&m_buffer);
        m_reader.setAutoTransform(false);
    }
    QImageReader& Reader() { return m_reader; }

  private:
    QByteArray m_data;
    QBuffer m_buffer;
    QImageReader m_reader;
};

// What the loader keeps of a read picture until it releases it.
struct ReadPicture {
    QImage Image;
    QByteArray Icc;
};

void SetWhy(QtReaderImage* out, const QImageReader& reader) {
    const QByteArray why = reader.errorString().toUtf8();
    const auto count =
        std::min<std::size_t>(static_cast<std::size_t>(why.size()), sizeof out->Why - 1);
    std::memcpy(out->Why, why.constData(), count);
    out->Why[count] = '\0';
}

void MakeReaders(int maxMegabytes) {
    // Qt's allocation limit is one process-wide setting; it is raised to the loader's own
    // buffer cap, because the loader's checks run first against the declared size and Qt's
    // default (128 MiB) would refuse ordinary large photographs.
    QImageReader::setAllocationLimit(maxMegabytes);
    // Bytes no reader takes: asking whether any can read them makes every plugin.
    static constexpr std::uint8_t kNothing[4] = {};
    ByteReader(kNothing, sizeof kNothing).Reader().canRead();
}

// Whether a reader takes the bytes, noting which format it takes them for.
bool Recognise(QImageReader& reader, QtReaderImage* out) {
    if (!reader.canRead()) {
        out->Result = QtReaderImage::Outcome::UnknownFormat;
        return false;
    }
    out->Bmp = reader.format() == "bmp";
    return true;
}

void ReadHeader(const std::uint8_t* bytes, std::size_t size, QtReaderImage* out) {
    ByteReader source(bytes, size);
    QImageReader& reader = source.Reader();
    if (!Recognise(reader, out)) return;
    QSize found = reader.size();
    if (!found.isValid()) {
        // A few formats tell their size only by decoding; Qt's allocation limit bounds that.
        const QImage image = reader.read();
        if (image.isNull()) {
            out->Result = QtReaderImage::Outcome::Damaged;
            SetWhy(out, reader);
            return;
        }
        found = image.size();
    }
    out->Width = found.width();
    out->Height = found.height();
    out->Result = QtReaderImage::Outcome::Read;
}

void Read(const std::uint8_t* bytes, std::size_t size,
          bool (*accept)(void* context, int width, int height), void* context, QtReaderImage* out) {
    ByteReader source(bytes, size);
    QImageReader& reader = source.Reader();
    if (!Recognise(reader, out)) return;
    // Asked before Qt allocates: the header decides how much Qt will ask for.
    const QSize declared = reader.size();
    out->Declared = declared.isValid();
    out->DeclaredWidth = declared.width();
    out->DeclaredHeight = declared.height();
    if (out->Declared && !accept(context, declared.width(), declared.height())) {
        out->Result = QtReaderImage::Outcome::Refused;
        return;
    }
    auto picture = std::make_unique<ReadPicture>();
    picture->Image = reader.read();
    QImage& image = picture->Image;
    if (image.isNull()) {
        out->Result = QtReaderImage::Outcome::Damaged;
        SetWhy(out, reader);
        return;
    }
    out->HasAlpha = image.hasAlphaChannel();
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32) {
        image = image.convertToFormat(out->HasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        if (image.isNull()) {
            out->Result = QtReaderImage::Outcome::NoMemory;
            return;
        }
    }
    // The reader's colour space when it comes from an ICC profile in the file (a PNG's iCCP):
    // such a profile always has a description, what Qt makes up from a PNG's gAMA and cHRM has
    // none. Writers routinely tag sRGB pixels with gAMA 1/2.2, which is no reason to change them.
    const QColorSpace space = image.colorSpace();
    if (space.isValid() && !space.description().isEmpty()) picture->Icc = space.iccProfile();
    out->Width = image.width();
    out->Height = image.height();
    out->Pixels = reinterpret_cast<const std::uint32_t*>(image.constBits());
    out->Stride = static_cast<std::ptrdiff_t>(image.bytesPerLine());
    out->Icc = reinterpret_cast<const std::uint8_t*>(picture->Icc.constData());
    out->IccBytes = static_cast<std::size_t>(picture->Icc.size());
    out->Owner = picture.release();
    out->Result = QtReaderImage::Outcome::Read;
}

void Release(QtReaderImage* image) {
    delete static_cast<ReadPicture*>(image->Owner);
    image->Owner = nullptr;
    image->Pixels = nullptr;
    image->Icc = nullptr;
}

constexpr QtImageReaderFunctions kFunctions = {MakeReaders, ReadHeader, Read, Release};

}  // namespace
}  // namespace quillane

extern "C" __attribute__((visibility("default"))) const quillane::QtImageReaderFunctions*
quillane_qt_image_reader() {
    return &quillane::kFunctions;
}
