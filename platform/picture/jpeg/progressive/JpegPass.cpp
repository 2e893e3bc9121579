#include "platform/picture/jpeg/progressive/JpegPass.h"

#include <algorithm>
#include <string>

#include "platform/picture/jpeg/JpegMarkers.h"
#include "platform/picture/jpeg/progressive/JpegAcBands.h"
#include "platform/picture/jpeg/progressive/JpegDcBands.h"
#include "platform/picture/jpeg/progressive/JpegScanData.h"

namespace quillane {
namespace {

constexpr int kMaxScanComponents = 4;
constexpr int kMaxBlocksInMcu = 10;  // the limit on an interleaved MCU
constexpr int kMaxPointTransform = 13;
constexpr int kLastCoefficient = 63;
constexpr std::uint8_t kStuffedZero = 0x00;

// The segments a read takes in; other segments (EXIF, profiles) are stepped over unread.
bool ReadByThePass(std::uint8_t marker) {
    return marker == kProgressiveHuffmanFrame || marker == kHuffmanTables ||
           marker == kQuantizationTables || marker == kRestartInterval || marker == kStartOfScan;
}

}  // namespace

std::array<std::int8_t, 64> JpegPass::Progress::Unread() {
    std::array<std::int8_t, 64> bits{};
    bits.fill(-1);
    return bits;
}

JpegPass::JpegPass(JpegWindow& window, JpegPassPlan plan, JpegShrunkPicture& picture,
                   JpegBlockGrid& grid)
    : m_window(window),
      m_plan(plan),
      m_picture(picture),
      m_grid(grid),
      m_progress(grid.Components.size()) {}

JpegReadStep JpegPass::Read() {
    // A later read knows the frame: its component's coefficients can be had at once.
    if (!m_plan.First && m_plan.AcComponent >= 0) {
        if (auto failed = m_grid.AllocateCoefficients(m_plan.AcComponent)) return failed;
    }
    if (!m_plan.First && m_plan.Band) {
        if (auto failed = m_grid.AllocateBand(*m_plan.Band)) return failed;
    }
    JpegMarkerWalk walk(m_window);
    if (!walk.StartOfImage()) return "no start of image";
    while (true) {
        JpegSegment segment;
        if (auto failed = walk.Next(segment, ReadByThePass)) return *failed;
        const std::uint8_t marker = segment.Marker;
        if (marker == kEndOfImage) break;
        if (marker == kStartOfImage || marker == kStuffedZero) return "a marker out of place";
        const std::span<const std::uint8_t> s = segment.Fields;
        JpegReadStep failed;
        if (marker == kProgressiveHuffmanFrame) {
            // A later read has the frame from the first.
            if (m_plan.First) failed = m_grid.Components.empty() ? ReadFrame(s) : "a second frame";
        } else if (IsFrameMarker(marker) || marker == kArithmeticConditioning) {
            failed = "not a progressive Huffman-coded frame";
        } else if (marker == kHuffmanTables) {
            if (auto why = ReadHuffmanTables(s, m_tables)) failed = *why;
        } else if (marker == kQuantizationTables) {
            if (auto why = ReadQuantizationTables(s, m_tables)) failed = *why;
        } else if (marker == kRestartInterval) {
            if (s.size() != 2) return "a restart interval of bad length";
            m_restartInterval = s[0] << 8 | s[1];
        } else if (marker == kStartOfScan) {
            std::size_t at = segment.End;
            failed = ReadScan(s, at);
            walk.GoOnFrom(at);
        }
        if (failed) return failed;
    }
    if (m_grid.Components.empty()) return "no frame";
    // As libjpeg refuses it: a frame without any scan is no picture, however large it says it is.
    if (m_scans == 0) return "no scan";
    return std::nullopt;
}

JpegReadStep JpegPass::ReadFrame(std::span<const std::uint8_t> fields) {
    JpegFrame frame;
    if (auto failed = ReadJpegFrame(kProgressiveHuffmanFrame, fields, frame)) return *failed;
    if (auto refused = ProgressiveReaderRefuses(frame)) return *refused;
    if (auto failed = LayOutBlocks(frame, m_plan.Scale, m_picture, m_grid)) return failed;
    m_progress.assign(m_grid.Components.size(), {});
    if (m_plan.Band) return m_grid.AllocateBand(*m_plan.Band);
    if (m_plan.AcComponent < 0) return std::nullopt;
    return m_grid.AllocateCoefficients(m_plan.AcComponent);
}

JpegReadStep JpegPass::ReadScanHeader(std::span<const std::uint8_t> s, Scan& scan) {
    if (m_grid.Components.empty()) return "a scan before the frame";
    if (++m_scans > kMaxScans)
        return "more than " + std::to_string(kMaxScans) + " progressive scans";
    if (s.empty()) return "a scan header of bad length";
    const std::size_t count = s[0];
    if (count < 1 || count > kMaxScanComponents || s.size() != 4 + 2 * count) {
        return "a scan header of bad length";
    }
    int blocksInMcu = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::optional<std::size_t> found;
        for (std::size_t c = 0; c < m_grid.Components.size(); ++c) {
            if (m_grid.Components[c].Frame.Id == s[1 + 2 * i]) found = c;
        }
        for (const Scan::Entry& earlier : scan.Components) {
            if (earlier.Component == found) found.reset();
        }
        if (!found) return "a scan of an unknown component";
        scan.Components.push_back({*found, s[2 + 2 * i] >> 4, s[2 + 2 * i] & 15});
        const JpegFrameComponent& frame = m_grid.Components[*found].Frame;
        blocksInMcu += frame.Horizontal * frame.Vertical;
    }
    scan.First = s[1 + 2 * count];
    scan.Last = s[2 + 2 * count];
    scan.Ah = s[3 + 2 * count] >> 4;
    scan.Al = s[3 + 2 * count] & 15;
    if (count > 1 && blocksInMcu > kMaxBlocksInMcu) return "too many blocks in an MCU";
    if (scan.Al > kMaxPointTransform || scan.Last > kLastCoefficient || scan.First > scan.Last) {
        return "a bad progression";
    }
    return std::nullopt;
}

// As libjpeg does, the table in force at a component's first scan is the one used, whatever
// tables come between later scans.
JpegReadStep JpegPass::LatchQuantizers(const Scan& scan) {
    for (const Scan::Entry& entry : scan.Components) {
        Progress& progress = m_progress[entry.Component];
        if (progress.Latched) continue;
        const std::optional<JpegQuantizationTable>& table =
            m_tables.Quantization[m_grid.Components[entry.Component].Frame.QuantTable];
        if (!table) return "a quantization table is missing";
        const auto& slots = *ReducedTransformFor(m_plan.Scale).Slots;
        for (int k = 0; k < 64; ++k) {
            if (slots[k] >= 0) progress.Quantizers[slots[k]] = (*table)[k];
        }
        progress.Latched = true;
    }
    return std::nullopt;
}

bool JpegPass::InTurn(const Scan& scan, int bits) {
    return scan.Ah == 0 ? bits < 0 : bits == scan.Ah && scan.Al == scan.Ah - 1;
}

JpegReadStep JpegPass::ReadScan(std::span<const std::uint8_t> s, std::size_t& at) {
    Scan scan;
    if (auto failed = ReadScanHeader(s, scan)) return failed;
    if (auto failed = LatchQuantizers(scan)) return failed;
    return scan.First != 0 ? ReadAcScan(scan, at) : ReadDcScan(scan, at);
}

// AC coefficients: one component at a time, and only after its DC values.
JpegReadStep JpegPass::ReadAcScan(const Scan& scan, std::size_t& at) {
    const Scan::Entry& entry = scan.Components[0];
    Progress& progress = m_progress[entry.Component];
    if (scan.Components.size() != 1 || progress.Bits[0] < 0) return "a bad progression";
    if (!m_plan.Band && static_cast<int>(entry.Component) != m_plan.AcComponent) {
        return SkipScanData(at);
    }
    for (int k = scan.First; k <= scan.Last; ++k) {
        if (!InTurn(scan, progress.Bits[k])) return "a bad progression";
    }
    if (entry.AcTable >= kJpegTableSlots || !m_tables.Ac[entry.AcTable]) {
        return "a Huffman table is missing";
    }
    JpegAcScan band{&*m_tables.Ac[entry.AcTable],
                    ReducedTransformFor(m_plan.Scale).AcSlots,
                    scan.First,
                    scan.Last,
                    scan.Al,
                    scan.Ah != 0};
    band.KeptPerBlock = m_grid.AcKept;
    band.KeptMask = 0;
    for (int k = 0; k < 64; ++k) {
        if ((*band.Slots)[k] >= 0) band.KeptMask |= std::uint64_t{1} << k;
    }
    for (int k = scan.First; k <= scan.Last; ++k)
        progress.Bits[k] = static_cast<std::int8_t>(scan.Al);
    if (m_plan.Band) return ReadAcBand(band, entry.Component, at);
    JpegScanData data(m_window, at, m_restartInterval);
    const JpegShrunkComponent& shape = m_picture.Components[entry.Component];
    JpegAcCursor cursor;
    if (auto failed = DecodeAcBands(data, band, m_grid.Components[entry.Component], shape, cursor,
                                    std::int64_t{shape.BlocksWide} * shape.BlocksHigh)) {
        return failed;
    }
    const std::optional<std::size_t> end = data.End();
    if (!end) return "Premature end of JPEG file";
    at = *end;
    return std::nullopt;
}

// The scan's blocks in the band, from where the read of the band before left it.
JpegReadStep JpegPass::ReadAcBand(const JpegAcScan& band, std::size_t component, std::size_t& at) {
    JpegBand& plan = *m_plan.Band;
    const std::size_t place = static_cast<std::size_t>(m_scans) - 1;
    if (plan.Scans->size() <= place) plan.Scans->resize(place + 1);
    JpegBandScan& state = (*plan.Scans)[place];
    const JpegShrunkComponent& shape = m_picture.Components[component];
    const std::int64_t rowsBefore =
        std::int64_t{plan.EndMcuRow} * m_grid.Components[component].Frame.Vertical;
    const std::int64_t end =
        std::int64_t{shape.BlocksWide} * std::min<std::int64_t>(shape.BlocksHigh, rowsBefore);
    JpegScanData data = state.Started ? JpegScanData(m_window, state.Data, m_restartInterval)
                                      : JpegScanData(m_window, at, m_restartInterval);
    if (auto failed = DecodeAcBands(data, band, m_grid.Components[component], shape, state.Cursor,
                                    std::max(end, state.Cursor.Block))) {
        return failed;
    }
    state.Started = true;
    state.Data = data.Save();
    return EndScan(data.Bits().Position(), at);
}

JpegReadStep JpegPass::ReadDcScan(const Scan& scan, std::size_t& at) {
    if (scan.Last != 0) return "a bad progression";
    JpegDcScan dc;
    dc.PointTransform = scan.Al;
    for (const Scan::Entry& entry : scan.Components) {
        if (!InTurn(scan, m_progress[entry.Component].Bits[0])) return "a bad progression";
        const JpegHuffmanTable* table = nullptr;
        if (scan.Ah == 0) {
            if (entry.DcTable >= kJpegTableSlots || !m_tables.Dc[entry.DcTable]) {
                return "a Huffman table is missing";
            }
            table = &*m_tables.Dc[entry.DcTable];
        }
        dc.Components.push_back(
            {&m_grid.Components[entry.Component], &m_picture.Components[entry.Component], table});
    }
    // The first read has decoded the DC values of every component; later ones only follow the
    // progression.
    if (!m_plan.First) {
        for (const Scan::Entry& entry : scan.Components) {
            m_progress[entry.Component].Bits[0] = static_cast<std::int8_t>(scan.Al);
        }
        return SkipScanData(at);
    }
    JpegScanData data(m_window, at, m_restartInterval);
    if (auto failed = DecodeDcBands(data, dc, m_grid)) return failed;
    for (const Scan::Entry& entry : scan.Components) {
        m_progress[entry.Component].Bits[0] = static_cast<std::int8_t>(scan.Al);
    }
    const std::optional<std::size_t> end = data.End();
    if (!end) return "Premature end of JPEG file";
    at = *end;
    return std::nullopt;
}

JpegReadStep JpegPass::SkipScanData(std::size_t& at) {
    return EndScan(at, at);
}

JpegReadStep JpegPass::EndScan(std::size_t from, std::size_t& at) {
    const std::size_t place = static_cast<std::size_t>(m_scans) - 1;
    std::vector<std::size_t>* ends = m_plan.Band ? m_plan.Band->ScanEnds : nullptr;
    if (ends && place < ends->size() && (*ends)[place] != 0) {
        at = (*ends)[place];
        return std::nullopt;
    }
    const std::optional<std::size_t> end = EndOfScanData(m_window, from);
    if (!end) return "Premature end of JPEG file";
    at = *end;
    if (ends) {
        if (ends->size() <= place) ends->resize(place + 1);
        (*ends)[place] = *end;
    }
    return std::nullopt;
}

}  // namespace quillane
