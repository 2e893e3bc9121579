// An AC symbol is a run of zero coefficients (high four bits) and the size of the value after
// them (low four bits); size 0 is sixteen zeros (run 15) or the end of the block (run 0; other
// runs end it too, as libjpeg takes them).

#include "platform/picture/jpeg/sequential/JpegAcPairs.h"

namespace quillane {
namespace {

struct Symbol {
    int Length = 0;  // code and extra bits together; 0: they do not fit
    int Run = 0;
    bool Ends = false;
    std::int32_t Value = 0;
};

// The symbol at the top of `bits` (of which `available` are real), if code and value fit.
Symbol SymbolAt(const JpegHuffmanTable& table, std::uint32_t bits, int available) {
    int length = 0;
    const int symbol = table.DecodeSixteen(bits << (16 - JpegAcPairs::kBits), length);
    if (symbol < 0 || length > available) return {};
    const int run = symbol >> 4, size = symbol & 15;
    if (length + size > available) return {};
    Symbol s;
    s.Length = length + size;
    if (size == 0) {
        s.Ends = run != 15;
        s.Run = run == 15 ? 16 : 0;
        return s;
    }
    const int spare = JpegAcPairs::kBits - length - size;
    const auto extra = static_cast<std::int32_t>(bits >> spare & ((1u << size) - 1));
    s.Run = run + 1;
    // A leading zero bit means a negative value.
    s.Value =
        extra < (std::int32_t{1} << (size - 1)) ? extra - ((std::int32_t{1} << size) - 1) : extra;
    return s;
}

JpegAcPairs::Entry MakeEntry(int length, int firstAt, int secondAt, int advance, bool ends,
                             std::int32_t first, std::int32_t second) {
    JpegAcPairs::Entry e;
    e.Length = static_cast<std::uint8_t>(length);
    e.Reach = static_cast<std::uint8_t>(advance + (ends ? 1 : 0));
    e.FirstAt = static_cast<std::uint8_t>(firstAt);
    e.SecondAt = static_cast<std::uint8_t>(secondAt);
    e.Advance = static_cast<std::uint8_t>(advance + (ends ? JpegAcPairs::kEnded : 0));
    e.First = static_cast<std::int16_t>(first);
    e.Second = static_cast<std::int16_t>(second);
    return e;
}

}  // namespace

JpegAcPairs::JpegAcPairs(const JpegHuffmanTable& table) : m_entries(std::size_t{1} << kBits) {
    for (std::uint32_t bits = 0; bits < m_entries.size(); ++bits) {
        const Symbol first = SymbolAt(table, bits, kBits);
        if (first.Length == 0) continue;  // 0: decoded one symbol at a time
        // A value of 0 (a run of sixteen) lands where it changes nothing.
        const int firstAt = first.Ends ? kNowhere : first.Run - 1;
        if (first.Ends) {
            m_entries[bits] = MakeEntry(first.Length, kNowhere, kNowhere, 0, true, 0, 0);
            continue;
        }
        const Symbol second =
            SymbolAt(table, bits << first.Length & ((1u << kBits) - 1), kBits - first.Length);
        if (second.Length == 0) {
            m_entries[bits] =
                MakeEntry(first.Length, firstAt, kNowhere, first.Run, false, first.Value, 0);
            continue;
        }
        const int secondAt = second.Ends ? kNowhere : first.Run + second.Run - 1;
        m_entries[bits] = MakeEntry(first.Length + second.Length, firstAt, secondAt,
                                    first.Run + second.Run, second.Ends, first.Value, second.Value);
    }
}

}  // namespace quillane
