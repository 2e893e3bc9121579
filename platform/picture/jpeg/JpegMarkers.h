#pragma once
// A JPEG's markers walked in file order, every length checked against the bytes there are, and
// its frame header read (private to the picture loader and the memory estimate above it): the
// one walk our progressive reader and the estimate both take.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/picture/jpeg/JpegSource.h"

namespace quillane {

// Marker codes: the byte after 0xFF.
inline constexpr std::uint8_t kStartOfImage = 0xD8;
inline constexpr std::uint8_t kEndOfImage = 0xD9;
inline constexpr std::uint8_t kStartOfScan = 0xDA;
inline constexpr std::uint8_t kProgressiveHuffmanFrame = 0xC2;  // SOF2
inline constexpr std::uint8_t kHuffmanTables = 0xC4;
inline constexpr std::uint8_t kArithmeticConditioning = 0xCC;
inline constexpr std::uint8_t kQuantizationTables = 0xDB;
inline constexpr std::uint8_t kRestartInterval = 0xDD;
inline constexpr std::uint8_t kFirstRestart = 0xD0;  // RST0; RST1 to RST7 follow
inline constexpr std::uint8_t kExifSegment = 0xE1;   // APP1
inline constexpr std::uint8_t kIccSegment = 0xE2;    // APP2

bool IsRestartMarker(std::uint8_t marker);
// SOF0 to SOF15: every marker from 0xC0 to 0xCF but DHT, JPG and DAC.
bool IsFrameMarker(std::uint8_t marker);

struct JpegFrameComponent {
    int Id = 0;
    int Horizontal = 1;  // sampling factors, 1 to 4
    int Vertical = 1;
    int QuantTable = 0;  // slot 0 to 3
};

// A frame header (SOFn), as the marker and its fields say.
struct JpegFrame {
    bool Progressive = false;  // SOF2 or SOF10: the picture comes in several scans
    bool Arithmetic = false;   // SOF9 to SOF15: arithmetic-coded, not Huffman-coded
    int Precision = 8;         // bits a sample
    int Width = 0;
    int Height = 0;
    std::vector<JpegFrameComponent> Components;  // in frame order
    int MaxHorizontal() const;
    int MaxVertical() const;
};

// Reads a SOFn segment's fields (after its length): 1 to 4 components of distinct ids, sampling
// factors 1 to 4, table slots 0 to 3, a width and a height. Empty when they are good; else why
// not.
std::optional<std::string> ReadJpegFrame(std::uint8_t marker, std::span<const std::uint8_t> fields,
                                         JpegFrame& frame);

// One marker, and its segment's fields when it has a segment and they were asked for.
struct JpegSegment {
    std::uint8_t Marker = 0;
    // The segment's bytes after its length; valid until the walk's next step.
    std::span<const std::uint8_t> Fields;
    std::size_t End = 0;  // the first byte after the marker and its segment
};

class JpegMarkerWalk {
  public:
    explicit JpegMarkerWalk(JpegWindow& window) : m_window(window) {}

    // Whether the data starts with the start-of-image marker; the walk goes on after it.
    bool StartOfImage();

    // The next marker. Bytes that are no marker are stepped over first, as libjpeg does after a
    // warning, and so are fill bytes and the TEM and RSTn markers, which carry nothing. SOI, EOI
    // and a stuffed zero (0x00) come without a segment; every other marker's segment must lie
    // inside the data. Its fields are copied out when `wanted(marker)` says so (reading a scan
    // moves the window on), else stepped over unread. Empty when a marker was found; else why
    // not ("Premature end of JPEG file", "a marker segment of bad length").
    std::optional<std::string> Next(JpegSegment& segment, bool (*wanted)(std::uint8_t));

    // Goes on from `at`: past the entropy-coded data of a scan.
    void GoOnFrom(std::size_t at) { m_at = at; }

  private:
    JpegWindow& m_window;
    std::size_t m_at = 0;
    std::vector<std::uint8_t> m_fields;  // the last segment's fields, apart from the window
};

// From `from` inside a scan's entropy-coded data to the marker that ends it (a restart marker
// does not); empty when the data ends first.
std::optional<std::size_t> EndOfScanData(JpegWindow& window, std::size_t from);

}  // namespace quillane
