// The markers and scans of a progressive JPEG, read from the bytes with every length, count
// and index checked before use. A DC scan codes, per block, the difference from the previous
// block's DC value of the same component (category by Huffman code, then that many extra
// bits); a refinement scan adds one lower bit per block. Shrunk by eight, the AC scans are
// passed over to the next marker without being decoded; shrunk by four they are decoded
// (JpegAcBands.cpp) into the few coefficients the 2x2 inverse DCT reads.

#include "platform/picture/jpeg/progressive/JpegProgressiveReader.h"

#include <array>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "platform/picture/jpeg/progressive/JpegAcBands.h"
#include "platform/picture/jpeg/progressive/JpegBitReader.h"
#include "platform/picture/jpeg/progressive/JpegHuffman.h"
#include "platform/picture/jpeg/progressive/JpegReducedIdct.h"

namespace quillane {
namespace {

constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kProgressiveHuffmanFrame = 0xC2;
constexpr std::uint8_t kHuffmanTables = 0xC4;
constexpr std::uint8_t kArithmeticConditioning = 0xCC;
constexpr std::uint8_t kQuantizationTables = 0xDB;
constexpr std::uint8_t kRestartInterval = 0xDD;
constexpr std::uint8_t kStartOfScan = 0xDA;
constexpr std::uint8_t kFirstRestart = 0xD0;
constexpr int kTables = 4;           // Huffman and quantization table slots 0..3
constexpr int kMaxBlocksInMcu = 10;  // the limit on an interleaved MCU
constexpr int kMaxDcCategory = 15;   // the widest difference the extra bits can carry
constexpr int kMaxPointTransform = 13;

bool IsRestart(std::uint8_t marker) {
    return marker >= kFirstRestart && marker <= kFirstRestart + 7;
}

bool IsFrame(std::uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != kHuffmanTables && marker != 0xC8 &&
           marker != kArithmeticConditioning;
}

// The pixel libjpeg's 1x1 inverse DCT gives a block: the dequantized DC value over eight,
// rounded, then limited as libjpeg limits it.
std::uint8_t DcSample(std::int16_t coefficient, std::uint16_t quantizer) {
    return LimitSample((std::int32_t{coefficient} * quantizer + 4) >> 3);
}

using QuantizationTable = std::array<std::uint16_t, 64>;  // in zig-zag order

struct Component {
    int Id = 0;
    int QuantTable = 0;
    JpegDcComponent* Out = nullptr;
    int PaddedWide = 0;  // blocks per row of the MCU grid (interleaved scans reach that far)
    // Each block's DC value over that grid; shrunk by four also its kept AC coefficients and a
    // bit per coefficient saying whether it is nonzero yet.
    std::vector<std::int16_t> Dc;
    std::vector<std::int16_t> Coefficients;
    std::vector<std::uint64_t> Nonzero;
    // The kept coefficients' quantizers, taken from the table when the first scan starts.
    std::array<std::uint16_t, kQuarterKept> Quantizers{};
    bool Latched = false;
    // The point transform of each coefficient's bits read so far, in zig-zag order; -1: none yet.
    std::array<std::int8_t, 64> Bits = MakeUnread();

    static std::array<std::int8_t, 64> MakeUnread() {
        std::array<std::int8_t, 64> bits{};
        bits.fill(-1);
        return bits;
    }
};

struct ScanComponent {
    Component* Of = nullptr;
    int DcTable = 0;
    int AcTable = 0;
};

class DcScanReader {
  public:
    // Shrunk by four, every scan is decoded; else only the DC scans.
    DcScanReader(const JpegSource& source, bool quarter) : m_window(source), m_quarter(quarter) {}

    // Empty when the file read cleanly to its end; else why not.
    std::optional<std::string> Read(JpegDcPicture& picture);
    bool OutOfMemory() const { return m_outOfMemory; }

  private:
    std::optional<std::string> ReadPass(JpegDcPicture& picture);
    std::optional<std::string> Allocate(Component& c);
    // Whether this pass keeps the component's coefficients.
    bool Keeps(const Component& c) const { return m_only < 0 || &c == &m_components[m_only]; }
    std::optional<std::string> ReadFrame(std::span<const std::uint8_t> s, JpegDcPicture& picture);
    std::optional<std::string> ReadHuffmanTables(std::span<const std::uint8_t> s);
    std::optional<std::string> ReadQuantizationTables(std::span<const std::uint8_t> s);
    std::optional<std::string> ReadScan(std::span<const std::uint8_t> s, std::size_t& at);
    std::optional<std::string> DecodeDcScan(const std::vector<ScanComponent>& scan, int ah, int al,
                                            std::size_t& at);
    std::optional<std::string> DecodeAcScan(const ScanComponent& entry, int ss, int se, int ah,
                                            int al, std::size_t& at);
    bool Restart(JpegBitReader& bits, int& restarts);
    std::optional<std::string> MakeSamples(Component& c, int scale);
    bool DecodeBlock(JpegBitReader& bits, const JpegHuffmanTable* table, int al,
                     std::int32_t& predictor, std::int16_t& block) const;

    // A marker's byte, or -1 past the end of the data.
    int ByteAt(std::size_t at) {
        const std::span<const std::uint8_t> bytes = m_window.From(at, 1);
        return bytes.empty() ? -1 : bytes[0];
    }
    std::optional<std::size_t> EndOfScanData(std::size_t from);

    JpegWindow m_window;
    std::vector<std::uint8_t> m_segment;  // the marker segment being read, apart from the window
    bool m_quarter;
    std::vector<Component> m_components;
    std::array<std::optional<JpegHuffmanTable>, kTables> m_dcTables;
    std::array<std::optional<JpegHuffmanTable>, kTables> m_acTables;
    std::array<std::optional<QuantizationTable>, kTables> m_quantTables;
    int m_restartInterval = 0;
    int m_mcusWide = 0;
    int m_mcusHigh = 0;
    int m_scans = 0;
    int m_only = -1;  // the one component whose coefficients this pass keeps; -1: all
    bool m_outOfMemory = false;
};

// Shrunk by four, the file is read once for each component, keeping that component's AC
// coefficients alone: only the largest component's are held at any time. The DC scans are
// decoded in the first pass, for every component; each AC scan, which has one component, in
// that component's pass, and stepped over in the others.
std::optional<std::string> DcScanReader::Read(JpegDcPicture& picture) {
    m_only = m_quarter ? 0 : -1;
    if (auto failed = ReadPass(picture)) return failed;
    picture.Scale = m_quarter ? 4 : 8;
    if (!m_quarter) {
        for (Component& c : m_components) {
            if (auto failed = MakeSamples(c, picture.Scale)) return failed;
        }
        return std::nullopt;
    }
    if (auto failed = MakeSamples(m_components[0], picture.Scale)) return failed;
    for (m_only = 1; m_only < static_cast<int>(m_components.size()); ++m_only) {
        // Each pass starts from the file's beginning, with nothing defined yet.
        m_dcTables = {}, m_acTables = {}, m_quantTables = {};
        m_restartInterval = 0, m_scans = 0;
        for (Component& c : m_components) c.Bits = Component::MakeUnread(), c.Latched = false;
        if (auto failed = Allocate(m_components[m_only])) return failed;
        if (auto failed = ReadPass(picture)) return failed;
        if (auto failed = MakeSamples(m_components[m_only], picture.Scale)) return failed;
    }
    return std::nullopt;
}

// The DC values of every component at the first pass, the AC coefficients of the pass's own.
std::optional<std::string> DcScanReader::Allocate(Component& c) {
    const std::size_t blocks =
        static_cast<std::size_t>(c.PaddedWide) * m_mcusHigh * c.Out->Vertical;
    try {
        if (m_only <= 0) c.Dc.assign(blocks, 0);
        if (m_quarter && Keeps(c)) {
            c.Coefficients.assign(blocks * kQuarterAcKept, 0);
            c.Nonzero.assign(blocks, 0);
        }
    } catch (const std::bad_alloc&) {
        m_outOfMemory = true;
        return "no memory for its coefficients";
    }
    return std::nullopt;
}

std::optional<std::string> DcScanReader::ReadPass(JpegDcPicture& picture) {
    if (ByteAt(0) != 0xFF || ByteAt(1) != kStartOfImage) return "no start of image";
    std::size_t at = 2;
    while (true) {
        // Bytes that are no marker are stepped over, as libjpeg does after a warning.
        while (ByteAt(at) >= 0 && ByteAt(at) != 0xFF) ++at;
        while (ByteAt(at + 1) == 0xFF) ++at;  // fill bytes
        if (ByteAt(at + 1) < 0) return "Premature end of JPEG file";
        const auto marker = static_cast<std::uint8_t>(ByteAt(at + 1));
        if (marker == kEndOfImage) break;
        if (marker == 0x01 || IsRestart(marker)) {  // no length
            at += 2;
            continue;
        }
        if (marker == kStartOfImage || marker == 0x00) return "a marker out of place";
        const std::span<const std::uint8_t> head = m_window.From(at + 2, 2);
        if (head.size() < 2) return "Premature end of JPEG file";
        const std::size_t length = std::size_t{head[0]} << 8 | head[1];
        if (length < 2) return "a marker segment of bad length";
        if (at + 2 + length > m_window.Size()) return "Premature end of JPEG file";
        const bool read = marker == kProgressiveHuffmanFrame || marker == kHuffmanTables ||
                          marker == kQuantizationTables || marker == kRestartInterval ||
                          marker == kStartOfScan;
        // Copied out: reading the scan moves the window on. Other segments (EXIF, profiles)
        // are stepped over unread.
        if (read) {
            const std::span<const std::uint8_t> bytes = m_window.From(at + 4, length - 2);
            if (bytes.size() < length - 2) return "Premature end of JPEG file";
            m_segment.assign(bytes.begin(),
                             bytes.begin() + static_cast<std::ptrdiff_t>(length - 2));
        }
        const std::span<const std::uint8_t> segment(m_segment.data(), read ? length - 2 : 0);
        at += 2 + length;
        std::optional<std::string> failed;
        if (marker == kProgressiveHuffmanFrame) {
            // A later pass has read the frame already.
            if (m_only <= 0) {
                failed = m_components.empty() ? ReadFrame(segment, picture) : "a second frame";
            }
        } else if (IsFrame(marker) || marker == kArithmeticConditioning) {
            failed = "not a progressive Huffman-coded frame";
        } else if (marker == kHuffmanTables) {
            failed = ReadHuffmanTables(segment);
        } else if (marker == kQuantizationTables) {
            failed = ReadQuantizationTables(segment);
        } else if (marker == kRestartInterval) {
            if (segment.size() != 2) return "a restart interval of bad length";
            m_restartInterval = segment[0] << 8 | segment[1];
        } else if (marker == kStartOfScan) {
            failed = ReadScan(segment, at);
        }
        if (failed) return failed;
    }
    if (m_components.empty()) return "no frame";
    // As libjpeg refuses it: a frame without any scan is no picture, however large it says it is.
    if (m_scans == 0) return "no scan";
    return std::nullopt;
}

// The component's samples from its coefficients, which are let go then.
std::optional<std::string> DcScanReader::MakeSamples(Component& c, int scale) {
    JpegDcComponent& out = *c.Out;
    try {
        out.Samples.resize(static_cast<std::size_t>(out.SamplesWide) * out.SamplesHigh);
    } catch (const std::bad_alloc&) {
        m_outOfMemory = true;
        return "no memory for its samples";
    }
    const int perBlock = 8 / scale;  // samples across and down
    for (int y = 0; y < out.BlocksHigh; ++y) {
        for (int x = 0; x < out.BlocksWide; ++x) {
            const std::size_t index = static_cast<std::size_t>(y) * c.PaddedWide + x;
            std::uint8_t made[4];
            if (m_quarter) {
                QuarterIdct(c.Dc[index], &c.Coefficients[index * kQuarterAcKept],
                            c.Quantizers.data(), made);
            } else {
                made[0] = DcSample(c.Dc[index], c.Quantizers[0]);
            }
            // The last blocks of a row or column may reach past the component's samples.
            for (int v = 0; v < perBlock && y * perBlock + v < out.SamplesHigh; ++v) {
                for (int h = 0; h < perBlock && x * perBlock + h < out.SamplesWide; ++h) {
                    out.Samples[static_cast<std::size_t>(y * perBlock + v) * out.SamplesWide +
                                x * perBlock + h] = made[v * perBlock + h];
                }
            }
        }
    }
    std::vector<std::int16_t>().swap(c.Dc);
    std::vector<std::int16_t>().swap(c.Coefficients);
    std::vector<std::uint64_t>().swap(c.Nonzero);
    return std::nullopt;
}

std::optional<std::string> DcScanReader::ReadFrame(std::span<const std::uint8_t> s,
                                                   JpegDcPicture& picture) {
    if (s.size() < 6) return "a frame header of bad length";
    const int count = s[5];
    if (s[0] != 8) return "not 8 bits per sample";
    if (count < 1 || count > 4 || s.size() != 6 + 3 * static_cast<std::size_t>(count)) {
        return "a frame header of bad length";
    }
    picture.Height = s[1] << 8 | s[2];
    picture.Width = s[3] << 8 | s[4];
    if (picture.Width == 0 || picture.Height == 0) return "an empty frame";
    picture.Components.resize(count);
    m_components.resize(count);
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* field = &s[6 + 3 * i];
        Component& c = m_components[i];
        c.Id = field[0];
        c.Out = &picture.Components[i];
        c.Out->Horizontal = field[1] >> 4;
        c.Out->Vertical = field[1] & 15;
        c.QuantTable = field[2];
        if (c.Out->Horizontal < 1 || c.Out->Horizontal > 4 || c.Out->Vertical < 1 ||
            c.Out->Vertical > 4 || c.QuantTable >= kTables) {
            return "a bad component in the frame header";
        }
        for (int j = 0; j < i; ++j) {
            if (m_components[j].Id == c.Id) return "two components with one id";
        }
        picture.MaxHorizontal = std::max(picture.MaxHorizontal, c.Out->Horizontal);
        picture.MaxVertical = std::max(picture.MaxVertical, c.Out->Vertical);
    }
    for (const Component& c : m_components) {
        // Each coarser sampling must divide the finest, for the spreading onto its grid.
        if (picture.MaxHorizontal % c.Out->Horizontal || picture.MaxVertical % c.Out->Vertical) {
            return "a sampling that does not divide the finest";
        }
    }
    if (std::int64_t{picture.Width} * picture.Height > kMaxPixels) return "too many pixels";
    m_mcusWide = static_cast<int>(CeilDiv(picture.Width, 8 * picture.MaxHorizontal));
    m_mcusHigh = static_cast<int>(CeilDiv(picture.Height, 8 * picture.MaxVertical));
    const int scale = m_quarter ? 4 : 8;
    for (Component& c : m_components) {
        JpegDcComponent& out = *c.Out;
        const std::int64_t wide =
            CeilDiv(std::int64_t{picture.Width} * out.Horizontal, picture.MaxHorizontal);
        const std::int64_t high =
            CeilDiv(std::int64_t{picture.Height} * out.Vertical, picture.MaxVertical);
        out.BlocksWide = static_cast<int>(CeilDiv(wide, 8));
        out.BlocksHigh = static_cast<int>(CeilDiv(high, 8));
        out.SamplesWide = static_cast<int>(CeilDiv(wide, scale));
        out.SamplesHigh = static_cast<int>(CeilDiv(high, scale));
        c.PaddedWide = m_mcusWide * out.Horizontal;
        if (auto failed = Allocate(c)) return failed;
    }
    return std::nullopt;
}

std::optional<std::string> DcScanReader::ReadHuffmanTables(std::span<const std::uint8_t> s) {
    while (!s.empty()) {
        if (s.size() < 17) return "a Huffman table of bad length";
        const int kind = s[0] >> 4, slot = s[0] & 15;
        if (kind > 1 || slot >= kTables) return "a bad Huffman table index";
        const auto counts = s.subspan<1, JpegHuffmanTable::kMaxCodeLength>();
        std::size_t symbols = 0;
        for (const std::uint8_t n : counts) symbols += n;
        if (symbols > 256 || s.size() < 17 + symbols) return "a bad Huffman table";
        auto& table = (kind == 0 ? m_dcTables : m_acTables)[slot];
        table = JpegHuffmanTable::Build(counts, s.subspan(17, symbols));
        if (!table) return "a bad Huffman table";
        s = s.subspan(17 + symbols);
    }
    return std::nullopt;
}

std::optional<std::string> DcScanReader::ReadQuantizationTables(std::span<const std::uint8_t> s) {
    while (!s.empty()) {
        const int precision = s[0] >> 4, slot = s[0] & 15;
        if (precision > 1 || slot >= kTables) return "a bad quantization table index";
        const std::size_t size = 1 + 64 * (precision + 1);
        if (s.size() < size) return "a quantization table of bad length";
        QuantizationTable& table = m_quantTables[slot].emplace();
        for (int k = 0; k < 64; ++k) {
            table[k] = precision == 0
                           ? s[1 + k]
                           : static_cast<std::uint16_t>(s[1 + 2 * k] << 8 | s[2 + 2 * k]);
        }
        s = s.subspan(size);
    }
    return std::nullopt;
}

// Steps from `from` to the marker that ends a scan's entropy-coded data.
std::optional<std::size_t> DcScanReader::EndOfScanData(std::size_t from) {
    std::size_t i = from;
    while (true) {
        const std::span<const std::uint8_t> bytes = m_window.From(i, 2);
        if (bytes.size() < 2) return std::nullopt;
        // memchr: the scans stepped over are most of the file.
        const void* found = std::memchr(bytes.data(), 0xFF, bytes.size() - 1);
        if (!found) {
            i += bytes.size() - 1;
            continue;
        }
        const auto offset =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes.data());
        const std::uint8_t next = bytes[offset + 1];
        if (next != 0x00 && next != 0xFF && !IsRestart(next)) return i + offset;
        i += offset + 1;
    }
}

std::optional<std::string> DcScanReader::ReadScan(std::span<const std::uint8_t> s,
                                                  std::size_t& at) {
    if (m_components.empty()) return "a scan before the frame";
    if (++m_scans > kMaxScans)
        return "more than " + std::to_string(kMaxScans) + " progressive scans";
    if (s.empty()) return "a scan header of bad length";
    const std::size_t count = s[0];
    if (count < 1 || count > 4 || s.size() != 4 + 2 * count) return "a scan header of bad length";
    std::vector<ScanComponent> scan;
    int blocksInMcu = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Component* found = nullptr;
        for (Component& c : m_components) {
            if (c.Id == s[1 + 2 * i]) found = &c;
        }
        for (const ScanComponent& earlier : scan) {
            if (earlier.Of == found) found = nullptr;
        }
        if (!found) return "a scan of an unknown component";
        scan.push_back({found, s[2 + 2 * i] >> 4, s[2 + 2 * i] & 15});
        blocksInMcu += found->Out->Horizontal * found->Out->Vertical;
    }
    const std::uint8_t firstCoefficient = s[1 + 2 * count], lastCoefficient = s[2 + 2 * count];
    const int ah = s[3 + 2 * count] >> 4, al = s[3 + 2 * count] & 15;
    if (count > 1 && blocksInMcu > kMaxBlocksInMcu) return "too many blocks in an MCU";
    if (al > kMaxPointTransform || lastCoefficient > 63 || firstCoefficient > lastCoefficient) {
        return "a bad progression";
    }
    for (const ScanComponent& entry : scan) {
        Component* c = entry.Of;
        if (c->Latched) continue;
        // As libjpeg does, the table in force at the component's first scan is the one used,
        // whatever tables come between later scans.
        const std::optional<QuantizationTable>& table = m_quantTables[c->QuantTable];
        if (!table) return "a quantization table is missing";
        const auto& slots = QuarterSlots();
        for (int k = 0; k < 64; ++k) {
            if (slots[k] >= 0) c->Quantizers[slots[k]] = (*table)[k];
        }
        c->Latched = true;
    }
    // A first scan of each coefficient, then refinements one bit at a time.
    auto inTurn = [ah, al](int bits) { return ah == 0 ? bits < 0 : bits == ah && al == ah - 1; };
    if (firstCoefficient != 0) {
        // AC coefficients: one component at a time, and only after its DC values.
        Component& c = *scan[0].Of;
        if (count != 1 || c.Bits[0] < 0) return "a bad progression";
        if (!m_quarter || !Keeps(c)) {
            const std::optional<std::size_t> end = EndOfScanData(at);
            if (!end) return "Premature end of JPEG file";
            at = *end;
            return std::nullopt;
        }
        for (int k = firstCoefficient; k <= lastCoefficient; ++k) {
            if (!inTurn(c.Bits[k])) return "a bad progression";
        }
        if (scan[0].AcTable >= kTables || !m_acTables[scan[0].AcTable]) {
            return "a Huffman table is missing";
        }
        return DecodeAcScan(scan[0], firstCoefficient, lastCoefficient, ah, al, at);
    }
    if (lastCoefficient != 0) return "a bad progression";
    for (const ScanComponent& entry : scan) {
        if (!inTurn(entry.Of->Bits[0])) return "a bad progression";
        if (ah == 0 && (entry.DcTable >= kTables || !m_dcTables[entry.DcTable])) {
            return "a Huffman table is missing";
        }
    }
    if (m_only > 0) {
        // The first pass has the DC values of every component.
        for (const ScanComponent& entry : scan) entry.Of->Bits[0] = static_cast<std::int8_t>(al);
        const std::optional<std::size_t> end = EndOfScanData(at);
        if (!end) return "Premature end of JPEG file";
        at = *end;
        return std::nullopt;
    }
    return DecodeDcScan(scan, ah, al, at);
}

// At the end of each restart interval: the rest of the byte is padding, then comes the next
// restart marker in turn, after which the data starts afresh.
bool DcScanReader::Restart(JpegBitReader& bits, int& restarts) {
    std::size_t p = bits.Position();
    while (ByteAt(p) == 0xFF && ByteAt(p + 1) == 0xFF) ++p;
    if (ByteAt(p) != 0xFF || ByteAt(p + 1) != kFirstRestart + (restarts & 7)) return false;
    ++restarts;
    bits = JpegBitReader(m_window, p + 2);
    return true;
}

std::optional<std::string> DcScanReader::DecodeAcScan(const ScanComponent& entry, int ss, int se,
                                                      int ah, int al, std::size_t& at) {
    Component& c = *entry.Of;
    const JpegDcComponent& out = *c.Out;
    JpegAcScan scan{&*m_acTables[entry.AcTable], &QuarterAcSlots(), ss, se, al};
    scan.KeptMask = 0;
    for (int k = 0; k < 64; ++k) {
        if ((*scan.Slots)[k] >= 0) scan.KeptMask |= std::uint64_t{1} << k;
    }
    const std::int64_t blocks = std::int64_t{out.BlocksWide} * out.BlocksHigh;
    JpegBitReader bits(m_window, at);
    std::uint32_t endOfBandRun = 0;
    int restarts = 0;
    int untilRestart = m_restartInterval;
    int column = 0;
    std::size_t index = 0;  // of the block in the padded grid
    for (std::int64_t b = 0; b < blocks; ++b) {
        if (m_restartInterval > 0 && untilRestart-- == 0) {
            if (!Restart(bits, restarts)) return "a restart marker is missing";
            endOfBandRun = 0;
            untilRestart = m_restartInterval - 1;
        }
        const JpegAcBlock block{&c.Coefficients[index * kQuarterAcKept], &c.Nonzero[index]};
        // On along the component's own blocks, which the padded grid rows may outreach.
        if (++column < out.BlocksWide) {
            ++index;
        } else {
            column = 0;
            index += static_cast<std::size_t>(c.PaddedWide - out.BlocksWide) + 1;
        }
        const bool read = ah == 0 ? DecodeAcFirst(bits, scan, endOfBandRun, block)
                                  : DecodeAcRefinement(bits, scan, endOfBandRun, block);
        if (!read) return "an AC scan is damaged or cut short";
    }
    for (int k = ss; k <= se; ++k) c.Bits[k] = static_cast<std::int8_t>(al);
    const std::optional<std::size_t> end = EndOfScanData(bits.Position());
    if (!end) return "Premature end of JPEG file";
    at = *end;
    return std::nullopt;
}

bool DcScanReader::DecodeBlock(JpegBitReader& bits, const JpegHuffmanTable* table, int al,
                               std::int32_t& predictor, std::int16_t& block) const {
    std::uint32_t value = 0;
    if (!table) {  // a refinement: one more bit of the value
        if (!bits.Bits(1, value)) return false;
        if (value) block = static_cast<std::int16_t>(static_cast<std::uint16_t>(block) | 1u << al);
        return true;
    }
    const int category = table->Decode(bits);
    if (category < 0 || category > kMaxDcCategory) return false;
    std::int32_t difference = 0;
    if (category > 0) {
        if (!bits.Bits(category, value)) return false;
        difference = static_cast<std::int32_t>(value);
        // A leading zero bit means a negative difference.
        if (value < 1u << (category - 1)) difference -= (std::int32_t{1} << category) - 1;
    }
    // Unsigned sums: the running value of a damaged file wraps instead of overflowing.
    predictor = static_cast<std::int32_t>(static_cast<std::uint32_t>(predictor) +
                                          static_cast<std::uint32_t>(difference));
    block = static_cast<std::int16_t>(static_cast<std::uint32_t>(predictor) << al);
    return true;
}

std::optional<std::string> DcScanReader::DecodeDcScan(const std::vector<ScanComponent>& scan,
                                                      int ah, int al, std::size_t& at) {
    const bool interleaved = scan.size() > 1;
    const JpegDcComponent& only = *scan[0].Of->Out;
    // One component alone is coded block by block over its own blocks; an interleaved scan
    // MCU by MCU, each MCU holding Horizontal x Vertical blocks of every component in it.
    const std::int64_t mcus = interleaved ? std::int64_t{m_mcusWide} * m_mcusHigh
                                          : std::int64_t{only.BlocksWide} * only.BlocksHigh;
    std::array<const JpegHuffmanTable*, 4> tables{};
    for (std::size_t i = 0; i < scan.size(); ++i) {
        if (ah == 0) tables[i] = &*m_dcTables[scan[i].DcTable];
    }
    std::array<std::int32_t, 4> predictors{};
    JpegBitReader bits(m_window, at);
    int restarts = 0;
    for (std::int64_t mcu = 0; mcu < mcus; ++mcu) {
        if (m_restartInterval > 0 && mcu > 0 && mcu % m_restartInterval == 0) {
            // Every difference starts from zero again.
            if (!Restart(bits, restarts)) return "a restart marker is missing";
            predictors = {};
        }
        for (std::size_t i = 0; i < scan.size(); ++i) {
            Component& c = *scan[i].Of;
            const int wide = interleaved ? c.Out->Horizontal : 1;
            const int high = interleaved ? c.Out->Vertical : 1;
            const std::int64_t row = interleaved ? mcu / m_mcusWide * high : mcu / only.BlocksWide;
            const std::int64_t column =
                interleaved ? mcu % m_mcusWide * wide : mcu % only.BlocksWide;
            for (int v = 0; v < high; ++v) {
                for (int h = 0; h < wide; ++h) {
                    std::int16_t& block =
                        c.Dc[static_cast<std::size_t>((row + v) * c.PaddedWide + column + h)];
                    if (!DecodeBlock(bits, tables[i], al, predictors[i], block)) {
                        return "a DC scan is damaged or cut short";
                    }
                }
            }
        }
    }
    for (const ScanComponent& entry : scan) entry.Of->Bits[0] = static_cast<std::int8_t>(al);
    const std::optional<std::size_t> end = EndOfScanData(bits.Position());
    if (!end) return "Premature end of JPEG file";
    at = *end;
    return std::nullopt;
}

PictureResult<JpegDcPicture> ReadJpeg(const JpegSource& source, bool quarter) {
    JpegDcPicture picture;
    DcScanReader reader(source, quarter);
    if (auto failed = reader.Read(picture)) {
        const bool memory = reader.OutOfMemory();
        std::string why = memory ? "needs more memory than is free (" : "is damaged (";
        why.append(*failed).append(")");
        return PictureFailure{memory ? ErrorNumber::OutOfMemory : ErrorNumber::InvalidPicture,
                              std::move(why)};
    }
    return picture;
}

}  // namespace

PictureResult<JpegDcPicture> ReadJpegDcScans(const JpegSource& source) {
    return ReadJpeg(source, false);
}

PictureResult<JpegDcPicture> ReadJpegQuarter(const JpegSource& source) {
    return ReadJpeg(source, true);
}

}  // namespace quillane
