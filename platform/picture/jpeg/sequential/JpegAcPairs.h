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
    static constexpr int kBits = 11;  // under 16, for the length's four bits
    // Where a value lands past the block's last coefficient: nowhere that is read.
    static constexpr int kNowhere = 64;
    // What the end of a block adds to the advance.
    static constexpr int kEnded = 64;

    explicit JpegAcPairs(const JpegHuffmanTable& table);

    std::uint64_t Lookup(std::uint32_t next) const { return m_entries[next]; }

    // The bits the entry's symbols take; 0 when not even the first one fits.
    static int Length(std::uint64_t e) { return static_cast<int>(e & 15); }
    // Where the first and second value land, counted from the block's next coefficient
    // (kNowhere and more for none).
    static int FirstAt(std::uint64_t e) { return static_cast<int>(e >> 4 & 127); }
    static int SecondAt(std::uint64_t e) { return static_cast<int>(e >> 11 & 127); }
    // How many coefficients the symbols go on by; 64 more when the block ends with them (so that
    // the count passes the block's end).
    static int Advance(std::uint64_t e) { return static_cast<int>(e >> 18 & 127); }
    // The coefficients the block must still have for the symbols to be its own: its end after
    // a value needs one too, lest a block that the value filled lose the next block's code.
    static int Reach(std::uint64_t e) { return static_cast<int>(e >> 25 & 63); }
    static std::int16_t FirstValue(std::uint64_t e) { return static_cast<std::int16_t>(e >> 32); }
    static std::int16_t SecondValue(std::uint64_t e) { return static_cast<std::int16_t>(e >> 48); }

  private:
    std::vector<std::uint64_t> m_entries;  // 1 << kBits of them
};

}  // namespace quillane
