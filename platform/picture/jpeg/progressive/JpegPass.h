#pragma once
// One read of a progressive JPEG from its start (private to jpeg/progressive): the markers in
// file order, the tables and the restart interval as they come, each scan's header checked
// against the progression so far, and the scans this read decodes taken into the blocks. A pass
// is made afresh for each read, so that nothing one read defined carries into the next; what it
// decodes lands in the picture and the blocks, which outlive it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/picture/jpeg/JpegSource.h"
#include "platform/picture/jpeg/progressive/JpegAcBands.h"
#include "platform/picture/jpeg/progressive/JpegBlocks.h"
#include "platform/picture/jpeg/progressive/JpegHuffman.h"
#include "platform/picture/jpeg/progressive/JpegReducedIdct.h"
#include "platform/picture/jpeg/progressive/JpegScanData.h"
#include "platform/picture/jpeg/progressive/JpegTableSegments.h"

namespace quillane {

// How far each AC scan has come, for the reads at full size that decode the file one band of
// MCU rows at a time: where its data stands, and the block it goes on from.
struct JpegBandScan {
    bool Started = false;
    JpegScanData::Mark Data;
    JpegAcCursor Cursor;
};

// One band of MCU rows of a read at full size, and what carries from band to band: each scan's
// place, and where each scan's data ends once a read has found it (0: not yet), by the scan's
// place in the file.
struct JpegBand {
    int FirstMcuRow = 0;
    int EndMcuRow = 0;
    std::vector<JpegBandScan>* Scans = nullptr;
    std::vector<std::size_t>* ScanEnds = nullptr;
};

// What one read of the file decodes.
struct JpegPassPlan {
    int Scale = 8;  // of the picture: 8 (DC scans only), 4 or 2, or 1 (at full size, in bands)
    // The first read: it reads the frame header and decodes the DC scans of every component.
    bool First = true;
    // The component whose AC scans this read decodes; -1 for none (shrunk by eight, or every
    // one at full size).
    int AcComponent = -1;
    // At full size (scale 1): the band whose blocks this read decodes, of every component.
    JpegBand* Band = nullptr;
};

class JpegPass {
  public:
    JpegPass(JpegWindow& window, JpegPassPlan plan, JpegShrunkPicture& picture,
             JpegBlockGrid& grid);

    // Reads the file to its end-of-image marker.
    JpegReadStep Read();

    // The quantizers of the coefficients the scale's transform reads, the DC one first, from the
    // table in force at the component's first scan of this read, as libjpeg takes them.
    const std::array<std::uint16_t, kWholeKept>& Quantizers(std::size_t component) const {
        return m_progress[component].Quantizers;
    }

  private:
    // How far a component has come in this read.
    struct Progress {
        // The point transform of each coefficient's bits read so far, in zig-zag order; -1:
        // none yet.
        std::array<std::int8_t, 64> Bits = Unread();
        std::array<std::uint16_t, kWholeKept> Quantizers{};
        bool Latched = false;
        static std::array<std::int8_t, 64> Unread();
    };

    // A scan's header, as it starts.
    struct Scan {
        struct Entry {
            std::size_t Component = 0;
            int DcTable = 0;
            int AcTable = 0;
        };
        std::vector<Entry> Components;
        int First = 0;  // the band of the zig-zag order, 0..63
        int Last = 0;
        int Ah = 0;  // the bits sent before, and the low bits not sent yet
        int Al = 0;
    };

    JpegReadStep ReadFrame(std::span<const std::uint8_t> fields);
    JpegReadStep ReadScanHeader(std::span<const std::uint8_t> s, Scan& scan);
    JpegReadStep LatchQuantizers(const Scan& scan);
    // Each of these leaves `at` at the marker after the scan's data.
    JpegReadStep ReadScan(std::span<const std::uint8_t> s, std::size_t& at);
    JpegReadStep ReadAcScan(const Scan& scan, std::size_t& at);
    JpegReadStep ReadDcScan(const Scan& scan, std::size_t& at);
    JpegReadStep ReadAcBand(const JpegAcScan& band, std::size_t component, std::size_t& at);
    JpegReadStep SkipScanData(std::size_t& at);
    // Leaves `at` at the marker that ends the current scan's data, looking on from `from`
    // unless an earlier read found it.
    JpegReadStep EndScan(std::size_t from, std::size_t& at);
    // Whether the scan's bits come in their turn for a coefficient with these bits read so far:
    // first a scan of all the high bits, then refinements one bit at a time.
    static bool InTurn(const Scan& scan, int bits);

    JpegWindow& m_window;
    JpegPassPlan m_plan;
    JpegShrunkPicture& m_picture;
    JpegBlockGrid& m_grid;
    JpegTableSlots m_tables;
    std::vector<Progress> m_progress;  // by component, once the frame is known
    int m_restartInterval = 0;
    int m_scans = 0;
};

}  // namespace quillane
