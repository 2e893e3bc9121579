#pragma once
// The work a JPEG's scans ask for, judged before any of them is decoded (private to the picture
// loader). A progressive file is tiny on disk and may still be vast in work: an empty scan of
// a few hundred bytes sweeps every block of a component, so a file of five hundred such scans
// over 16,000 x 16,000 pixels keeps a decoder busy for half a minute. What costs is the blocks
// all scans together visit, not the number of scans; kMaxScans stays a separate guard.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/picture/PictureLimits.h"
#include "platform/picture/jpeg/JpegMarkers.h"
#include "platform/picture/jpeg/JpegSource.h"

namespace quillane {

// The most passes over its picture a file may ask for: the blocks all its scans visit, at most
// this many times the blocks of its frame. The scan scripts of libjpeg (cjpeg and jpegtran
// -progressive, ImageMagick, GraphicsMagick, vips) ask for 4.7 to 6 (gray: every scan a whole
// pass), mozjpeg's for 3.7 to 5; a sequential file for one. 32 leaves room for scripts of a few
// times as many scans, while a hostile file costs at most a few times what a real one does.
inline constexpr int kMaxPassesOverPicture = 32;

// The blocks a frame's scans visit, added up scan by scan.
class JpegScanBudget {
  public:
    explicit JpegScanBudget(const JpegFrame& frame);

    // Adds a scan of these components (indexes into the frame's, as its header lists them): one
    // component's own blocks, or every MCU of the frame for an interleaved scan. False once the
    // scans so far visit more than kMaxPassesOverPicture times the frame's blocks, padded to
    // whole MCUs, which an interleaved scan of every component visits once.
    [[nodiscard]] bool Add(std::span<const std::size_t> components);

  private:
    JpegFrame m_frame;
    std::int64_t m_mcus = 0;
    std::int64_t m_allowed = 0;
    std::int64_t m_visited = 0;
};

// The refusal of a file past the budget (481, "needs more than 32 passes over its picture"),
// the same from every reader.
PictureFailure ScanWorkRefusal();
// The refusal of a file whose structure is damaged (481, "is damaged (why)"), the same from the
// walk and from our own reader.
PictureFailure DamagedJpeg(const std::string& why);

// Walks every scan header of the JPEG in the window, from its start, stepping over the scans'
// data, and adds up their blocks. Every reader asks this before it decodes, so that the budget
// is a property of the file: every scan counts, whether a reader decodes it or steps over it,
// and every reader and every scale reach the same verdict, before any memory is set aside for
// the picture. Returns the refusal (481, "needs more than 32 passes over its picture") past the
// budget, 481 "is damaged" for a frame header that is not sound (two components of one id,
// which libjpeg would read on, among them), 75 when the file could not be read; empty when the
// scans stay within the budget and when the walk cannot tell (other damaged structure, which
// the decoder refuses in its own words).
std::optional<PictureFailure> CheckScanWork(JpegWindow& window);

}  // namespace quillane
