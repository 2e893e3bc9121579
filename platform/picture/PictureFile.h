#pragma once
// A picture file as the picture loader sees it: the format decided by content and the header
// parsed, so the picture's size is known before any pixel is decoded. A JPEG stays open and is
// read again at each decode, a window at a time; other pictures are read whole, once.
// JPEG goes through libjpeg-turbo with DCT-domain shrink-on-load (and a progressive one shrunk by
// eight or four through our own reader, jpeg/progressive/), a BMP through its own checks and
// its own decoder (bmp/), or Qt's image reader for run-length data, everything else through
// Qt's image reader alone. Separate objects may be
// used from different threads at the same time.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/raster/BgrImage.h"
#include "platform/raster/Fit.h"

namespace quillane {

struct PictureFailure;
struct BmpHeader;
struct JpegSource;
class ColourTransform;
class FileSnapshot;

// Raised on a helper thread by a picture that needs Qt's reader before it is loaded.
struct QtReadersNotReadyHere {};

class PictureFile {
  public:
    // Opens the file, sniffs the format by content and parses the header; a picture other than
    // JPEG is read whole now. A JPEG whose content changes on disk after this fails to decode
    // with 75 (renaming, replacing or deleting it changes nothing: the open file is read). Raises
    // RuntimeError: 53 "File not found" (missing), 75 "Path/File access error" (unreadable, a
    // folder, a FIFO/socket/device: never opened), 481 "Invalid picture" (unknown, corrupt or
    // truncated header), 7 "Out of memory" (file or picture too large for the limits). Descriptions
    // name the file and say why.
    [[nodiscard]] static std::unique_ptr<PictureFile> Open(const std::string& path);

    // Readies, on the calling thread, what opening pictures shares between threads: Qt's reader
    // plugins, which Qt ties to the thread that first makes them. Made on a helper thread that
    // ends before the program does, their teardown at exit reads freed memory and may abort a
    // run that succeeded. Call on the main thread before another thread opens pictures. Where
    // Qt is not in the program yet (a batch run), its reader is not loaded until a picture
    // needs it, and then by a thread that is no helper (see MarkHelperThread).
    static void PrepareForHelperThreads();
    // Marks the calling thread as a helper: a picture that needs Qt's reader before another
    // thread loaded it raises QtReadersNotReadyHere there, to be left to the main thread.
    static void MarkHelperThread();

    // Size in pixels as a person sees it: after the EXIF orientation (5-8 swap the two).
    int Width() const;
    int Height() const;

    // Decodes the picture upright (EXIF orientation applied) as 24-bit BGR sRGB: pixels stored
    // with a colour profile (or a camera's Adobe RGB marking) are converted through it. A JPEG
    // decodes at the smallest DCT scale among 1/8, 1/4, 1/2 and 1/1 whose result is still at least
    // twice the paint size in both directions (see DctScaleFor); paintWidth/paintHeight <= 0 mean
    // full size.
    // Other formats decode at full size. Raises 481 for corrupt or truncated data (no damaged
    // picture is ever returned) and for a JPEG whose scans ask for more work than the scan
    // budget allows (JpegScanBudget), 7 when the pixels would exceed the memory limit and 75
    // when reading the file fails, with the system's description of the error.
    [[nodiscard]] BgrImage Decode(int paintWidth, int paintHeight) const;

    // The same pixels without a copy where the file already holds them in the painter's layout
    // (an uncompressed 24-bit BMP): the view then points into this file's bytes. Raises as
    // Decode does.
    [[nodiscard]] DecodedPixels DecodeView(int paintWidth, int paintHeight) const;

    // The whole picture upright and stretched to exactly width x height (both positive) by the
    // program's filter: what painting all of it onto that many pixels gives. A JPEG stored
    // upright, and a BMP the loader decodes itself, go from the decoder into the filter row by
    // row, so the decoded picture is never held whole. Raises as Decode does, and 7 when the
    // stretch's memory cannot be had.
    [[nodiscard]] BgrImage DecodeStretched(int width, int height) const;
    // The same for a part of the picture (upright pixels, inside it and not empty): decoded for
    // the size the whole picture would be painted at, then that part stretched.
    [[nodiscard]] BgrImage DecodeStretched(const SourceArea& area, int width, int height) const;
    // The DCT scale denominator (1, 2, 4 or 8) Decode uses for this paint size; 1 for pictures
    // that are not JPEG.
    int ScaleDenominatorFor(int paintWidth, int paintHeight) const;

    ~PictureFile();
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

  private:
    enum class Format { Jpeg, Bmp, Other };

    PictureFile() = default;
    [[noreturn]] void Fail(const PictureFailure& failure) const;
    JpegSource JpegBytes() const;
    // The failure to report when the JPEG's content is no longer what it was when opened.
    std::optional<PictureFailure> Changed() const;

    std::string m_name;                    // the file's own name, for error descriptions
    std::vector<std::uint8_t> m_bytes;     // a picture other than JPEG, whole
    std::unique_ptr<FileSnapshot> m_jpeg;  // a JPEG's open file, read at each decode
    Format m_format = Format::Other;
    int m_storedWidth = 0;  // as the pixels are stored, before the orientation
    int m_storedHeight = 0;
    int m_orientation = 1;  // EXIF orientation, 1..8
    // Where the rows of an uncompressed 24-bit BMP lie in m_bytes; Height 0 for other pictures.
    std::ptrdiff_t m_directTop = 0;
    std::ptrdiff_t m_directStride = 0;
    int m_directHeight = 0;
    // A BMP's headers, read once at the opening; null for other pictures.
    std::shared_ptr<const BmpHeader> m_bmp;
    // A BMP's conversion into sRGB (JPEG and Qt's formats find theirs as they decode).
    std::shared_ptr<const ColourTransform> m_colour;
};

}  // namespace quillane
