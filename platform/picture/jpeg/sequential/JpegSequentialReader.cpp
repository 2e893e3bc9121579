// The markers before each scan are read in file order as libjpeg reads them: the frame, the
// tables and the restart interval as they come, each scan's header checked. The samples of each
// component are kept an MCU row at a time: three of them for a file of one scan (the spreading
// of a coarser component reaches one row into the MCU rows before and after), every one for a
// file of several.

#include "platform/picture/jpeg/sequential/JpegSequentialReader.h"

#include <cassert>
#include <new>
#include <utility>
#include <vector>

#include "platform/picture/FileSnapshot.h"
#include "platform/picture/jpeg/JpegScanBudget.h"
#include "platform/picture/jpeg/progressive/JpegTableSegments.h"
#include "platform/picture/jpeg/sequential/JpegSequentialScan.h"

namespace quillane {
namespace {

constexpr std::uint8_t kBaselineFrame = 0xC0;  // SOF0
constexpr std::uint8_t kExtendedFrame = 0xC1;  // SOF1: 8 or 12 bits, four tables of each
constexpr int kMaxBlocksInMcu = 10;            // the limit on an interleaved MCU
constexpr int kStreamedMcuRows = 3;            // held by a file of one scan
constexpr std::uint8_t kStuffedZero = 0x00;

bool ReadByTheReader(std::uint8_t marker) {
    return IsFrameMarker(marker) || marker == kHuffmanTables || marker == kQuantizationTables ||
           marker == kRestartInterval || marker == kStartOfScan;
}

// The markers of the file from its start, scan by scan, and the samples the scans make.
class SequentialSamples final : public JpegSampleRows {
  public:
    SequentialSamples(const JpegSource& source, int scale) : m_window(source), m_scale(scale) {}

    // Reads the markers up to the first scan and lays out the samples; the scans of a file of
    // several are all decoded here.
    std::optional<PictureFailure> Open(JpegShrunkPicture& layout);

    const std::uint8_t* Row(std::size_t c, int row) override;
    PictureFailure Failure() const override { return m_failure; }

  private:
    // Reads the markers from where the walk is up to the next scan and starts it; failed (see
    // m_failure) at the end of the image too, since every scan the file needs is taken before.
    enum class Step { Scan, Failed };
    Step NextScan();
    std::optional<std::string> StartScan(std::span<const std::uint8_t> s, std::size_t dataAt);
    // Decodes the next MCU row of the scan into its slot of the held rows; after the last row of
    // the last scan, fails when another scan follows, which could only scan a component again.
    bool DecodeNextRow();
    bool MoreScans();
    // Keeps why the file is damaged, for Failure() and the callers' results. A read that failed
    // ends the data early, which looks like damage: the system's error is told instead.
    std::optional<PictureFailure> Fail(const std::string& why) {
        m_failure = m_window.Failed() ? FileAccessFailure(m_window.Failed()) : DamagedJpeg(why);
        return m_failure;
    }
    Step FailedStep(const std::string& why) {
        Fail(why);
        return Step::Failed;
    }
    bool FailedRow(const std::string& why) {
        Fail(why);
        return false;
    }

    JpegWindow m_window;
    int m_scale;
    JpegMarkerWalk m_walk{m_window};
    std::optional<JpegFrame> m_frame;
    JpegShrunkPicture m_layout;
    JpegTableSlots m_tables;
    std::vector<std::shared_ptr<const JpegAcPairs>> m_pairs;  // by AC slot, as made
    int m_restartInterval = 0;
    int m_mcusWide = 0;
    int m_mcusHigh = 0;
    std::vector<bool> m_scanned;  // by component
    std::optional<JpegSequentialScan> m_scan;
    int m_decodedRows = 0;  // MCU rows of the scan decoded
    // Each component's samples, m_slots MCU rows of them, MCU row m in slot m % m_slots.
    struct Held {
        std::vector<std::uint8_t> Samples;
        std::size_t Stride = 0;
        int RowsPerMcu = 0;
    };
    std::vector<Held> m_held;
    int m_slots = kStreamedMcuRows;
    PictureFailure m_failure = DamagedJpeg("rows are missing");
};

std::optional<PictureFailure> SequentialSamples::Open(JpegShrunkPicture& layout) {
    if (!m_walk.StartOfImage()) return Fail("no start of image");
    if (NextScan() != Step::Scan) return m_failure;
    const JpegFrame& frame = *m_frame;
    // One scan of every component is decoded as the rows are asked for; several are decoded
    // whole, each into every MCU row of its components.
    const bool whole = m_scan->Components().size() != frame.Components.size();
    if (whole) m_slots = m_mcusHigh;
    const int perBlock = 8 / m_scale;
    for (const JpegFrameComponent& c : frame.Components) {
        Held& held = m_held.emplace_back();
        held.Stride = static_cast<std::size_t>(m_mcusWide) * c.Horizontal * perBlock;
        held.RowsPerMcu = c.Vertical * perBlock;
        try {
            held.Samples.resize(held.Stride * held.RowsPerMcu * m_slots);
        } catch (const std::bad_alloc&) {
            m_failure = {ErrorNumber::OutOfMemory, "needs more memory than is free (its samples)"};
            return m_failure;
        }
    }
    while (whole) {
        while (m_decodedRows < m_mcusHigh) {
            if (!DecodeNextRow()) return m_failure;
        }
        if (m_scanned == std::vector<bool>(m_scanned.size(), true)) break;
        const std::optional<std::size_t> end = m_scan->End();
        if (!end) return Fail("Premature end of JPEG file");
        m_walk.GoOnFrom(*end);
        m_scan.reset();
        if (NextScan() != Step::Scan) return m_failure;
    }
    for (const bool scanned : m_scanned) {
        if (!scanned) return Fail("a component without a scan");
    }
    layout = m_layout;
    return std::nullopt;
}

SequentialSamples::Step SequentialSamples::NextScan() {
    while (true) {
        JpegSegment segment;
        if (auto failed = m_walk.Next(segment, ReadByTheReader)) return FailedStep(*failed);
        const std::uint8_t marker = segment.Marker;
        const std::span<const std::uint8_t> s = segment.Fields;
        std::optional<std::string> failed;
        if (marker == kEndOfImage) {
            failed = m_layout.Components.empty() ? "no scan" : "a component without a scan";
        } else if (marker == kStartOfImage || marker == kStuffedZero) {
            failed = "a marker out of place";
        } else if (IsFrameMarker(marker)) {
            if (m_frame) {
                failed = "a second frame";
            } else if (marker != kBaselineFrame && marker != kExtendedFrame) {
                failed = "not a sequential Huffman-coded frame";
            } else {
                m_frame.emplace();
                failed = ReadJpegFrame(marker, s, *m_frame);
                if (!failed) failed = SequentialReaderRefuses(*m_frame);
            }
        } else if (marker == kHuffmanTables) {
            failed = ReadHuffmanTables(s, m_tables);
            m_pairs.assign(kJpegTableSlots, nullptr);  // made again as the scans need them
        } else if (marker == kQuantizationTables) {
            failed = ReadQuantizationTables(s, m_tables);
        } else if (marker == kRestartInterval) {
            if (s.size() != 2) return FailedStep("a restart interval of bad length");
            m_restartInterval = s[0] << 8 | s[1];
        } else if (marker == kStartOfScan) {
            failed = StartScan(s, segment.End);
            if (!failed) return Step::Scan;
        }
        if (failed) return FailedStep(*failed);
    }
}

std::optional<std::string> SequentialSamples::StartScan(std::span<const std::uint8_t> s,
                                                        std::size_t dataAt) {
    if (!m_frame) return "a scan before the frame";
    const JpegFrame& frame = *m_frame;
    if (m_layout.Components.empty()) {
        if (std::int64_t{frame.Width} * frame.Height > kMaxPixels) return "too many pixels";
        m_layout = ShrunkLayoutFor(frame, m_scale);
        m_mcusWide = static_cast<int>(CeilDiv(frame.Width, 8 * frame.MaxHorizontal()));
        m_mcusHigh = static_cast<int>(CeilDiv(frame.Height, 8 * frame.MaxVertical()));
        m_scanned.assign(frame.Components.size(), false);
        m_pairs.resize(kJpegTableSlots);
    }
    if (s.empty()) return "a scan header of bad length";
    const std::size_t count = s[0];
    if (count < 1 || count > frame.Components.size() || s.size() != 4 + 2 * count) {
        return "a scan header of bad length";
    }
    // A sequential scan has the whole band of every block, at full precision.
    if (s[1 + 2 * count] != 0 || s[2 + 2 * count] != 63 || s[3 + 2 * count] != 0) {
        return "a scan that is not sequential";
    }
    const std::array<std::int8_t, 64>* slots = m_scale == 4   ? &Idct2x2Slots()
                                               : m_scale == 2 ? &Idct4x4Slots()
                                                              : nullptr;
    std::vector<JpegSequentialScanComponent> scan;
    int blocksInMcu = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::optional<std::size_t> found;
        for (std::size_t c = 0; c < frame.Components.size(); ++c) {
            if (frame.Components[c].Id == s[1 + 2 * i]) found = c;
        }
        if (!found) return "a scan of an unknown component";
        // Each component once: in this scan, and over the scans.
        if (m_scanned[*found]) return "a component scanned twice";
        m_scanned[*found] = true;
        const int dc = s[2 + 2 * i] >> 4, ac = s[2 + 2 * i] & 15;
        if (dc >= kJpegTableSlots || ac >= kJpegTableSlots || !m_tables.Dc[dc] ||
            !m_tables.Ac[ac]) {
            return "a Huffman table is missing";
        }
        const JpegFrameComponent& f = frame.Components[*found];
        const std::optional<JpegQuantizationTable>& quantization =
            m_tables.Quantization[f.QuantTable];
        if (!quantization) return "a quantization table is missing";
        if (!m_pairs[ac]) {
            try {
                m_pairs[ac] = std::make_shared<const JpegAcPairs>(*m_tables.Ac[ac]);
            } catch (const std::bad_alloc&) {
                return "no memory for its tables";
            }
        }
        JpegSequentialScanComponent& entry = scan.emplace_back();
        entry.Component = *found;
        entry.Dc = &*m_tables.Dc[dc];
        entry.Ac = &*m_tables.Ac[ac];
        entry.Pairs = m_pairs[ac];
        entry.Quantizers[0] = (*quantization)[0];
        for (int k = 1; slots && k < 64; ++k) {
            if ((*slots)[k] >= 0) entry.Quantizers[(*slots)[k]] = (*quantization)[k];
        }
        const bool alone = count == 1;
        entry.Horizontal = alone ? 1 : f.Horizontal;
        entry.Vertical = alone ? 1 : f.Vertical;
        entry.BlocksWide = m_layout.Components[*found].BlocksWide;
        entry.BlocksHigh = m_layout.Components[*found].BlocksHigh;
        entry.BlockRowsInMcuRow = f.Vertical;
        blocksInMcu += f.Horizontal * f.Vertical;
    }
    if (count > 1 && blocksInMcu > kMaxBlocksInMcu) return "too many blocks in an MCU";
    m_scan.emplace(m_window, dataAt, m_restartInterval, m_scale, std::move(scan), m_mcusWide);
    m_decodedRows = 0;
    return std::nullopt;
}

bool SequentialSamples::DecodeNextRow() {
    std::vector<JpegSampleTarget> targets;
    const int slot = m_decodedRows % m_slots;
    for (const JpegSequentialScanComponent& c : m_scan->Components()) {
        Held& held = m_held[c.Component];
        targets.push_back(
            {held.Samples.data() + slot * held.RowsPerMcu * held.Stride, held.Stride});
    }
    if (auto failed = m_scan->DecodeMcuRow(m_decodedRows, targets)) return FailedRow(*failed);
    ++m_decodedRows;
    if (m_decodedRows == m_mcusHigh && m_scanned == std::vector<bool>(m_scanned.size(), true)) {
        if (MoreScans()) return FailedRow("a component scanned twice");
    }
    return true;
}

bool SequentialSamples::MoreScans() {
    // What follows the last scan is not needed for the picture: a file cut short there, or
    // with bytes that are no markers, is taken as libjpeg takes it.
    const std::optional<std::size_t> end = m_scan->End();
    if (!end) return false;
    m_walk.GoOnFrom(*end);
    JpegSegment segment;
    while (!m_walk.Next(segment, [](std::uint8_t) { return false; })) {
        if (segment.Marker == kStartOfScan) return true;
        if (segment.Marker == kEndOfImage) return false;
    }
    return false;
}

const std::uint8_t* SequentialSamples::Row(std::size_t c, int row) {
    const Held& held = m_held[c];
    const int mcuRow = row / held.RowsPerMcu;
    while (m_decodedRows <= mcuRow) {
        if (!m_scan || !DecodeNextRow()) return nullptr;
    }
    // Rows are asked for in order, give or take one MCU row: the held ones.
    assert(mcuRow > m_decodedRows - 1 - m_slots);
    return held.Samples.data() +
           (static_cast<std::size_t>(mcuRow % m_slots) * held.RowsPerMcu + row % held.RowsPerMcu) *
               held.Stride;
}

}  // namespace

std::optional<std::string> SequentialReaderRefuses(const JpegFrame& frame) {
    if (frame.Progressive || frame.Arithmetic) return "not a sequential Huffman-coded frame";
    if (frame.Precision != 8) return "not 8 bits per sample";
    for (const JpegFrameComponent& c : frame.Components) {
        if (frame.MaxHorizontal() % c.Horizontal || frame.MaxVertical() % c.Vertical) {
            return "a sampling that does not divide the finest";
        }
    }
    return std::nullopt;
}

PictureResult<std::unique_ptr<JpegShrunkRows>> OpenSequentialShrunk(const JpegSource& source,
                                                                    int scale,
                                                                    JpegShrunkColour colour) {
    assert(scale == 8 || scale == 4 || scale == 2);
    auto samples = std::make_unique<SequentialSamples>(source, scale);
    JpegShrunkPicture layout;
    if (auto failure = samples->Open(layout)) return *failure;
    return std::make_unique<JpegShrunkRows>(std::move(layout), colour, std::move(samples));
}

}  // namespace quillane
