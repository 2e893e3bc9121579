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
    // What the end of a block adds to the advance.
    static constexpr int kEnded = 64;
    // The reach of an entry whose first symbol does not fit: more than any block has.
    static constexpr int kTooLong = 127;

    // One entry, its fields a byte each so that each is one load.
    struct Entry {
        std::uint8_t Length = 0;  // the bits the symbols take; 0 when not even the first fits
        // The coefficients the block must still have for the symbols to be its own: its end
        // after a value needs one too, lest a block the value filled lose the next block's code.
        std::uint8_t Reach = kTooLong;
        // Where the first and second value land, counted from the block's next coefficient
        // (kNowhere and more for none).
        std::uint8_t FirstAt = kNowhere;
        std::uint8_t SecondAt = kNowhere;
        // How many coefficients the symbols go on by; kEnded more when the block ends with them
        // (so that the count passes the block's end).
        std::uint8_t Advance = 0;
        std::int16_t First = 0;
        std::int16_t Second = 0;
    };

    explicit JpegAcPairs(const JpegHuffmanTable& table);

    const Entry& Lookup(std::uint32_t next) const { return m_entries[next]; }
    const Entry* Entries() const { return m_entries.data(); }

  private:
    std::vector<Entry> m_entries;  // 1 << kBits of them
};

}  // namespace quillane
