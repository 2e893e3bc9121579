#pragma once
// An AC Huffman table as our sequential reader looks it up (private to jpeg/sequential): by the
// next kBits bits, up to two whole symbols at once, each with the value its extra bits carry,
// where codes and values fit in those bits together; nearly all of a photograph's do. Each
// entry says how many bits the symbols take, where each value lands counted from the block's
// next coefficient, how far the block goes on, and whether it ends there. Anything longer is
// decoded one symbol at a time from the table itself.

#include <cstdint>
#include <vector>

#include "platform/picture/jpeg/progressive/JpegHuffman.h"

namespace quillane {

class JpegAcPairs {
  public:
    static constexpr int kBits = 11;
    // Where a value lands past the block's last coefficient: nowhere that is read.
    static constexpr int kNowhere = 64;

    explicit JpegAcPairs(const JpegHuffmanTable& table);

    std::uint64_t Lookup(std::uint32_t next) const { return m_entries[next]; }

    // The bits the entry's symbols take; 0 when not even the first one fits.
    static int Length(std::uint64_t e) { return static_cast<int>(e & 63); }
    // Where the first and second value land, counted from the block's next coefficient
    // (kNowhere and more for none).
    static int FirstAt(std::uint64_t e) { return static_cast<int>(e >> 6 & 127); }
    static int SecondAt(std::uint64_t e) { return static_cast<int>(e >> 13 & 127); }
    // How many coefficients the symbols go on by; with Ends, the block is done.
    static int Advance(std::uint64_t e) { return static_cast<int>(e >> 20 & 127); }
    static bool Ends(std::uint64_t e) { return (e >> 27 & 1) != 0; }
    // The coefficients the block must still have for the symbols to be its own: its end after
    // a value also needs one, lest a block that the value filled lose the next block's code.
    static int Reach(std::uint64_t e) { return static_cast<int>(e >> 20 & 127) + Ends(e); }
    static std::int16_t FirstValue(std::uint64_t e) { return static_cast<std::int16_t>(e >> 32); }
    static std::int16_t SecondValue(std::uint64_t e) { return static_cast<std::int16_t>(e >> 48); }

  private:
    std::vector<std::uint64_t> m_entries;  // 1 << kBits of them
};

}  // namespace quillane
