#pragma once
// The entropy-coded data of one scan (private to jpeg/progressive): its bits, the restart
// markers between its intervals, and the marker it ends at.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/picture/jpeg/JpegMarkers.h"
#include "platform/picture/jpeg/JpegSource.h"
#include "platform/picture/jpeg/progressive/JpegBitReader.h"

namespace quillane {

class JpegScanData {
  public:
    // The data from `at`, in intervals of restartInterval units (MCUs, or blocks of a scan of
    // one component); 0: no intervals.
    JpegScanData(JpegWindow& window, std::size_t at, int restartInterval)
        : m_window(window), m_bits(window, at), m_interval(restartInterval) {}

    // Where the data stands, to go on from there in a later read of the file.
    struct Mark {
        JpegBitReader::Mark Bits;
        int Restarts = 0;
    };
    JpegScanData(JpegWindow& window, const Mark& mark, int restartInterval)
        : m_window(window),
          m_bits(window, mark.Bits),
          m_interval(restartInterval),
          m_restarts(mark.Restarts) {}
    Mark Save() const { return {m_bits.Save(), m_restarts}; }

    JpegBitReader& Bits() { return m_bits; }

    // Whether unit `index` of the scan starts a new restart interval.
    bool StartsInterval(std::int64_t index) const {
        return m_interval > 0 && index > 0 && index % m_interval == 0;
    }

    // At the end of a restart interval the rest of the byte is padding, then comes the next
    // restart marker in turn, after which the data starts afresh. False when it is missing.
    bool Restart() {
        std::size_t p = m_bits.Position();
        while (m_window.ByteAt(p) == 0xFF && m_window.ByteAt(p + 1) == 0xFF) ++p;
        if (m_window.ByteAt(p) != 0xFF ||
            m_window.ByteAt(p + 1) != kFirstRestart + (m_restarts & 7)) {
            return false;
        }
        ++m_restarts;
        m_bits = JpegBitReader(m_window, p + 2);
        return true;
    }

    // Where the marker that ends the data lies, from where the bits stopped; empty when the
    // data ends first.
    std::optional<std::size_t> End() { return EndOfScanData(m_window, m_bits.Position()); }

  private:
    JpegWindow& m_window;
    JpegBitReader m_bits;
    int m_interval;
    int m_restarts = 0;
};

}  // namespace quillane
