#include "platform/picture/jpeg/JpegScanBudget.h"

#include <string>
#include <vector>

#include "platform/picture/FileSnapshot.h"

namespace quillane {
namespace {

constexpr int kMaxScanComponents = 4;

bool WantedByTheWalk(std::uint8_t marker) {
    return IsFrameMarker(marker) || marker == kStartOfScan;
}

// The components a scan header names, as indexes into the frame's; empty when it names one the
// frame lacks or is of bad length, which the decoders refuse.
std::vector<std::size_t> ScanComponents(const JpegFrame& frame, std::span<const std::uint8_t> s) {
    std::vector<std::size_t> components;
    if (s.empty() || s[0] < 1 || s[0] > kMaxScanComponents ||
        s.size() < 1 + 2 * std::size_t{s[0]}) {
        return components;
    }
    for (std::size_t i = 0; i < s[0]; ++i) {
        for (std::size_t c = 0; c < frame.Components.size(); ++c) {
            if (frame.Components[c].Id == s[1 + 2 * i]) components.push_back(c);
        }
    }
    if (components.size() != s[0]) components.clear();
    return components;
}

}  // namespace

PictureFailure ScanWorkRefusal() {
    return {
        ErrorNumber::InvalidPicture,
        "needs more than " + std::to_string(kMaxPassesOverPicture) + " passes over its picture"};
}

PictureFailure DamagedJpeg(const std::string& why) {
    return {ErrorNumber::InvalidPicture, "is damaged (" + why + ")"};
}

JpegScanBudget::JpegScanBudget(const JpegFrame& frame) : m_frame(frame) {
    m_mcus = CeilDiv(frame.Width, 8 * frame.MaxHorizontal()) *
             CeilDiv(frame.Height, 8 * frame.MaxVertical());
    std::int64_t blocksInMcu = 0;
    for (const JpegFrameComponent& c : frame.Components) blocksInMcu += c.Horizontal * c.Vertical;
    m_allowed = m_mcus * blocksInMcu * kMaxPassesOverPicture;
}

bool JpegScanBudget::Add(std::span<const std::size_t> components) {
    if (components.size() == 1) {
        // A scan of one component covers its own blocks, without the padding of partial MCUs.
        const JpegFrameComponent& c = m_frame.Components[components[0]];
        const std::int64_t wide =
            CeilDiv(std::int64_t{m_frame.Width} * c.Horizontal, m_frame.MaxHorizontal());
        const std::int64_t high =
            CeilDiv(std::int64_t{m_frame.Height} * c.Vertical, m_frame.MaxVertical());
        m_visited += CeilDiv(wide, 8) * CeilDiv(high, 8);
    } else {
        for (const std::size_t index : components) {
            const JpegFrameComponent& c = m_frame.Components[index];
            m_visited += m_mcus * c.Horizontal * c.Vertical;
        }
    }
    return m_visited <= m_allowed;
}

std::optional<PictureFailure> CheckScanWork(JpegWindow& window) {
    JpegMarkerWalk walk(window);
    std::optional<JpegFrame> frame;
    std::optional<JpegScanBudget> budget;
    JpegSegment segment;
    if (walk.StartOfImage()) {
        while (!walk.Next(segment, WantedByTheWalk) && segment.Marker != kEndOfImage) {
            if (IsFrameMarker(segment.Marker)) {
                // One frame a picture; a second (a hierarchical file) is the decoders' to refuse.
                if (frame) break;
                frame.emplace();
                // Refused here, before any reader starts: libjpeg reads a frame whose components
                // share an id and lets later scans name each of them in turn, which this walk
                // cannot count.
                if (auto bad = ReadJpegFrame(segment.Marker, segment.Fields, *frame)) {
                    return DamagedJpeg(*bad);
                }
                budget.emplace(*frame);
            } else if (segment.Marker == kStartOfScan) {
                const std::vector<std::size_t> components =
                    frame ? ScanComponents(*frame, segment.Fields) : std::vector<std::size_t>{};
                if (components.empty()) break;
                if (!budget->Add(components)) return ScanWorkRefusal();
                const std::optional<std::size_t> end = EndOfScanData(window, segment.End);
                if (!end) break;
                walk.GoOnFrom(*end);
            }
        }
    }
    if (window.Failed()) return FileAccessFailure(window.Failed());
    return std::nullopt;
}

}  // namespace quillane
