// Qt's reader is maintained and fuzzed; this file only bounds its memory and turns its result
// into BGR.

#include "platform/picture/QtPictureDecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <mutex>

#include "platform/picture/colour/ColourTransform.h"

namespace quillane {
namespace {

// Qt's allocation limit is one process-wide setting; it is raised once, to our own buffer cap,
// because our checks run first against the declared size and Qt's default (128 MiB) would
// refuse ordinary large photographs.
void RaiseQtAllocationLimit() {
    static std::once_flag once;
    std::call_once(
        once, [] { QImageReader::setAllocationLimit(static_cast<int>(kMaxBufferBytes >> 20)); });
}

// A reader over the bytes without copying them. The QByteArray and QBuffer must outlive it.
class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes)
        : m_data(QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                         static_cast<qsizetype>(bytes.size()))),
          m_buffer(&m_data) {
        RaiseQtAllocationLimit();
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

PictureFailure Unknown() {
    return {ErrorNumber::InvalidPicture, "is not a JPEG or BMP picture (unknown format)"};
}

PictureFailure Damaged(const QImageReader& reader) {
    const QString why = reader.errorString();
    return {ErrorNumber::InvalidPicture,
            "is damaged (" + (why.isEmpty() ? std::string("unreadable") : why.toStdString()) + ")"};
}

std::uint8_t OverWhite(unsigned colour, unsigned alpha) {
    return static_cast<std::uint8_t>((colour * alpha + 255 * (255 - alpha) + 127) / 255);
}

// Copies a 32-bit Qt picture into BGR, compositing over white where the alpha is meant.
void CopyToBgr(const QImage& image, bool blend, BgrView out) {
    for (int y = 0; y < out.Height; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::uint8_t* px = out.Row(y);
        for (int x = 0; x < out.Width; ++x, px += 3) {
            const QRgb p = in[x];
            const unsigned a = blend ? static_cast<unsigned>(qAlpha(p)) : 255;
            px[0] = OverWhite(static_cast<unsigned>(qBlue(p)), a);
            px[1] = OverWhite(static_cast<unsigned>(qGreen(p)), a);
            px[2] = OverWhite(static_cast<unsigned>(qRed(p)), a);
        }
    }
}

}  // namespace

void LoadQtReaders() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Bytes no reader takes: asking whether any can read them makes every plugin.
        static constexpr std::uint8_t kNothing[4] = {};
        ByteReader(kNothing).Reader().canRead();
    });
}

PictureResult<QtHeader> ReadQtHeader(std::span<const std::uint8_t> bytes) {
    ByteReader source(bytes);
    QImageReader& reader = source.Reader();
    if (!reader.canRead()) return Unknown();
    QtHeader header;
    header.Bmp = reader.format() == "bmp";
    QSize size = reader.size();
    if (!size.isValid()) {
        // A few formats tell their size only by decoding; Qt's allocation limit bounds that.
        const QImage image = reader.read();
        if (image.isNull()) return Damaged(reader);
        size = image.size();
    }
    header.Width = size.width();
    header.Height = size.height();
    return header;
}

PictureResult<BgrImage> DecodeWithQt(std::span<const std::uint8_t> bytes, bool ignoreAlpha) {
    ByteReader source(bytes);
    QImageReader& reader = source.Reader();
    if (!reader.canRead()) return Unknown();
    // Checked again here, before Qt allocates: the header decides how much Qt will ask for.
    const QSize declared = reader.size();
    if (declared.isValid()) {
        if (auto failure = CheckPictureSize(declared.width(), declared.height())) return *failure;
        if (auto failure = CheckBufferSize(declared.width(), declared.height(), 4)) {
            return *failure;
        }
    }
    QImage image = reader.read();
    if (image.isNull()) return Damaged(reader);
    if (auto failure = CheckPictureSize(image.width(), image.height())) return *failure;
    // The header's size is the one the picture was opened, measured and laid out with. A file
    // whose pixels come out at another size (a GIF whose screen and first frame disagree) would
    // be painted from the wrong rectangle, so it is not trusted.
    if (declared.isValid() && image.size() != declared) {
        return PictureFailure{ErrorNumber::InvalidPicture,
                              "is damaged (its header says " + std::to_string(declared.width()) +
                                  " x " + std::to_string(declared.height()) + " pixels, its data " +
                                  std::to_string(image.width()) + " x " +
                                  std::to_string(image.height()) + ")"};
    }

    // A BMP's fourth byte is, in practice, unused and often 0: Windows shows such a picture
    // opaque, so it is ignored there. Elsewhere (PNG, GIF) transparency is real and a viewer
    // shows it on a white page.
    const bool blend = image.hasAlphaChannel() && !ignoreAlpha;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32) {
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                              : QImage::Format_RGB32);
        if (image.isNull()) {
            return PictureFailure{ErrorNumber::OutOfMemory, "needs more memory than allowed"};
        }
    }
    auto picture = AllocatePicture(image.width(), image.height());
    if (!picture.Ok()) return picture;
    CopyToBgr(image, blend, picture.Value().View());
    // The reader's colour space when it comes from an ICC profile in the file (a PNG's iCCP):
    // such a profile always has a description, what Qt makes up from a PNG's gAMA and cHRM has
    // none. Writers routinely tag sRGB pixels with gAMA 1/2.2, which is no reason to change
    // them. Qt's BMP reader knows no profile; PictureFile reads a BMP's own.
    const QColorSpace space = image.colorSpace();
    std::shared_ptr<const ColourTransform> transform;
    if (space.isValid() && !space.description().isEmpty()) {
        const QByteArray icc = space.iccProfile();
        transform = TransformToSrgb({reinterpret_cast<const std::uint8_t*>(icc.constData()),
                                     static_cast<std::size_t>(icc.size())},
                                    PixelLayout::Bgr);
    }
    if (transform) ConvertToSrgb(*transform, picture.Value().View());
    return picture;
}

}  // namespace quillane
