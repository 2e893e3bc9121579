// The work budget of JPEG scans: progressive files whose every scan sweeps the whole picture,
// valid and tiny, are refused by every reader at every scale once they ask for more than
// kMaxPassesOverPicture passes, and decode while they stay within it; the scan scripts of real
// encoders stay well inside.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/picture/PictureFile.h"
#include "platform/picture/jpeg/JpegScanBudget.h"
#include "support/PictureFiles.h"

namespace quillane::test {
namespace {

// Entropy-coded bits, most significant first, with a zero stuffed after every 0xFF.
struct BitWriter {
    Bytes Out;
    unsigned Held = 0, Count = 0;
    void Put(unsigned value, unsigned bits) {
        for (unsigned i = bits; i-- > 0;) {
            Held = Held << 1 | (value >> i & 1);
            if (++Count < 8) continue;
            Out.push_back(std::uint8_t(Held));
            if (Held == 0xFF) Out.push_back(0);
            Held = Count = 0;
        }
    }
    Bytes End() {
        if (Count) Put((1u << (8 - Count)) - 1, 8 - Count);  // padded with ones
        return std::move(Out);
    }
};

void Segment(Bytes& out, std::uint8_t marker, const Bytes& body) {
    out.insert(out.end(),
               {0xFF, marker, std::uint8_t((body.size() + 2) >> 8), std::uint8_t(body.size() + 2)});
    out.insert(out.end(), body.begin(), body.end());
}

// A progressive file, gray or YCbCr 4:2:0, of flat gray: an interleaved DC scan in which every
// block says "no change" (code 0 of a one-code table), then `sweeps` times a scan of one
// coefficient of each component whose every block lies in end-of-band runs (EOBr, the 4-bit code
// r). Each coefficient is sent at point transform 13, then refined down to 0, so the progression
// stays valid. With oneId, the colour frame names its three components by one id, and only the
// first of them is swept. afterDc goes between the DC scan and the first sweep.
Bytes SweepingJpeg(int width, int height, bool colour, int sweeps, bool oneId = false,
                   const Bytes& afterDc = {}) {
    struct Component {
        std::uint8_t Id, H, V;
    };
    const std::uint8_t second = oneId ? 1 : 2, third = oneId ? 1 : 3;
    const std::vector<Component> components =
        colour ? std::vector<Component>{{1, 2, 2}, {second, 1, 1}, {third, 1, 1}}
               : std::vector<Component>{{1, 1, 1}};
    const int most = colour ? 2 : 1;
    auto ceil = [](long a, long b) { return (a + b - 1) / b; };
    Bytes out = {0xFF, 0xD8};
    Bytes ones(65, 1);
    ones[0] = 0;  // 8-bit values, slot 0
    Segment(out, 0xDB, ones);
    Bytes frame = {8,
                   std::uint8_t(height >> 8),
                   std::uint8_t(height),
                   std::uint8_t(width >> 8),
                   std::uint8_t(width),
                   std::uint8_t(components.size())};
    for (const Component& c : components)
        frame.insert(frame.end(), {c.Id, std::uint8_t(c.H << 4 | c.V), 0});
    Segment(out, 0xC2, frame);
    Bytes dcTable(18, 0), acTable(17, 0);
    dcTable[1] = 1;                      // one code of length 1: category 0
    acTable[0] = 0x10, acTable[4] = 15;  // fifteen codes of length 4: EOB0..EOB14
    for (int r = 0; r < 15; ++r) acTable.push_back(std::uint8_t(r << 4));
    Segment(out, 0xC4, dcTable);
    Segment(out, 0xC4, acTable);
    Bytes dc = {std::uint8_t(components.size())};
    for (const Component& c : components) dc.insert(dc.end(), {c.Id, 0});
    dc.insert(dc.end(), {0, 0, 0});
    Segment(out, 0xDA, dc);
    long blocks = 0;
    for (const Component& c : components)
        blocks += ceil(width, 8 * most) * ceil(height, 8 * most) * c.H * c.V;
    out.resize(out.size() + ceil(blocks, 8));  // a 0 bit a block, padded with more
    out.insert(out.end(), afterDc.begin(), afterDc.end());
    BitWriter bits;
    for (int sweep = 0; sweep < sweeps; ++sweep) {
        const int band = 1 + sweep / 14, al = 13 - sweep % 14;
        for (const Component& c : std::span(components).first(oneId ? 1 : components.size())) {
            Segment(out, 0xDA,
                    {1, c.Id, 0, std::uint8_t(band), std::uint8_t(band),
                     std::uint8_t((al == 13 ? 0 : al + 1) << 4 | al)});
            long blocks =
                ceil(ceil(long(width) * c.H, most), 8) * ceil(ceil(long(height) * c.V, most), 8);
            for (; blocks > 0; blocks -= std::min(blocks, 32767L)) {
                const long run = std::min(blocks, 32767L);
                unsigned r = 0;
                while (run >> (r + 1)) ++r;
                bits.Put(r, 4), bits.Put(unsigned(run - (1L << r)), r);
            }
            const Bytes data = bits.End();
            out.insert(out.end(), data.begin(), data.end());
        }
    }
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

// Whether the budget lets the whole file through.
bool WithinBudget(const Bytes& jpeg) {
    JpegWindow window{JpegSource(jpeg)};
    return !CheckScanWork(window);
}

// Gray and colour (4:2:0 on a size that leaves MCUs partly filled), one sweep within the budget
// and one past it, each read by every reader: ours shrunk by eight (16 x 12), four (40 x 30) and
// two (100 x 75), libjpeg at full size, and libjpeg shrunk by eight when it is forced.
// Within the budget the file decodes to its flat gray; past it, it is refused with its own
// message, whatever the reader. djpeg reads both without a warning: they are valid files.
TEST(JpegScanBudget, SweepsPastTheBudgetAreRefusedByEveryReaderAtEveryScale) {
    REQUIRE_TOOL("djpeg");
    TempDir dir;
    // The DC scan is one pass; a colour sweep is a little less, its components' own blocks.
    for (const auto& [colour, sweeps, refused] :
         {std::tuple{false, 31, false}, {false, 32, true}, {true, 31, false}, {true, 32, true}}) {
        const std::string name = (colour ? "colour" : "gray") + std::to_string(sweeps) + ".jpg";
        SCOPED_TRACE(name);
        const Bytes jpeg = SweepingJpeg(colour ? 515 : 512, colour ? 517 : 512, colour, sweeps);
        WriteBytes(dir.Path(name), jpeg);
        EXPECT_TRUE(Shell("djpeg -outfile /dev/null " + Quote(dir.Path(name))));
        for (const auto& [width, plain] :
             {std::pair{16, false}, {40, false}, {100, false}, {0, false}, {16, true}}) {
            SCOPED_TRACE(std::to_string(width) + (plain ? " plain" : ""));
            if (plain) setenv("QUILLANE_PLAIN_JPEG", "1", 1);
            BgrImage decoded;
            const Raised raised = RaisedBy([&, width = width] {
                auto file = PictureFile::Open(dir.Path(name));
                decoded = width ? file->DecodeStretched(width, width * 3 / 4) : file->Decode(0, 0);
            });
            unsetenv("QUILLANE_PLAIN_JPEG");
            if (refused) {
                EXPECT_EQ(raised.Number, ErrorNumber::InvalidPicture);
                EXPECT_EQ(raised.Description, "Invalid picture: '" + name +
                                                  "' needs more than 32 passes over its picture");
                continue;
            }
            ASSERT_EQ(raised.Number, ErrorNumber::None) << raised.Description;
            const RgbPicture flat{
                decoded.Width(), decoded.Height(),
                std::vector<std::uint8_t>(decoded.Width() * decoded.Height() * 3u, 128)};
            EXPECT_EQ(FirstDifference(decoded, flat), "");
        }
    }
}

// A colour frame that names its three components by one id is damaged: the walk every reader
// asks first refuses it before libjpeg, which reads such a frame on, starts. Past a comment whose
// length field says 0, which libjpeg steps over and the walk cannot read, libjpeg's own count of
// the scans it starts holds it to the budget: 31 sweeps pass, 32 do not. Full size and 1/2, both
// by libjpeg.
TEST(JpegScanBudget, LibjpegCountsTheScansOfAFileTheWalkCannotRead) {
    const Bytes emptyComment = {0xFF, 0xFE, 0, 0};
    const std::string damaged = "is damaged (two components with one id)";
    TempDir dir;
    for (const auto& [name, jpeg, said] :
         {std::tuple{"one-id.jpg", SweepingJpeg(515, 517, true, 1, true), damaged},
          {"comment31.jpg", SweepingJpeg(515, 517, true, 31, false, emptyComment), ""},
          {"comment32.jpg", SweepingJpeg(515, 517, true, 32, false, emptyComment),
           "needs more than 32 passes over its picture"}}) {
        WriteBytes(dir.Path(name), jpeg);
        EXPECT_EQ(WithinBudget(jpeg), said != damaged) << name;
        for (const int width : {0, 100}) {
            setenv("QUILLANE_PLAIN_JPEG", "1", 1);
            const Raised raised = RaisedBy([&, name = name] {
                auto file = PictureFile::Open(dir.Path(name));
                (void)(width ? file->DecodeStretched(width, width * 3 / 4) : file->Decode(0, 0));
            });
            unsetenv("QUILLANE_PLAIN_JPEG");
            EXPECT_EQ(raised.Description,
                      said.empty() ? "" : "Invalid picture: '" + std::string(name) + "' " + said)
                << width;
        }
    }
}

// libjpeg's own script (cjpeg -progressive, as ImageMagick and GIMP write too) and mozjpeg's
// (as sharp 0.35 writes it: luma DC, 1-2 and 3-63 at Al 2, refined twice; chroma 1-2 and 3-63),
// gray and colour, from one pixel, where padding to whole MCUs weighs most, to a photograph's
// size; and the bench's own progressive photographs when they are at hand.
TEST(JpegScanBudget, RealEncodersScriptsStayWithinIt) {
    REQUIRE_TOOL("cjpeg");
    REQUIRE_TOOL("jpegtran");
    TempDir dir;
    std::ofstream(dir.Path("mozjpeg.txt"))
        << "0 1 2: 0-0, 0, 0; 0: 1-2, 0, 2; 0: 3-63, 0, 2; 0: 1-63, 2, 1; 0: 1-63, 1, 0;"
           " 1: 1-2, 0, 0; 1: 3-63, 0, 0; 2: 1-2, 0, 0; 2: 3-63, 0, 0;";
    std::ofstream(dir.Path("mozjpeg-gray.txt"))
        << "0: 0-0, 0, 0; 0: 1-2, 0, 2; 0: 3-63, 0, 2; 0: 1-63, 2, 1; 0: 1-63, 1, 0;";
    std::vector<std::string> files;
    for (const auto& [width, height] : {std::pair{1, 1}, {9, 17}, {33, 31}, {1600, 1200}}) {
        for (const std::string sampling : {"-grayscale", "-sample 2x2", "-sample 1x1"}) {
            const std::string stem = dir.Path(std::to_string(width) + sampling.substr(1, 4));
            const std::string script =
                sampling == "-grayscale" ? "mozjpeg-gray.txt" : "mozjpeg.txt";
            ASSERT_TRUE(Cjpeg(Pattern(width, height), "-progressive " + sampling, stem + ".jpg"));
            ASSERT_TRUE(Shell("jpegtran -scans " + Quote(dir.Path(script)) + " -outfile " +
                              Quote(stem + "moz.jpg") + " " + Quote(stem + ".jpg")));
            files.insert(files.end(), {stem + ".jpg", stem + "moz.jpg"});
        }
    }
    const char* home = std::getenv("HOME");
    const std::filesystem::path bench =
        std::string(home ? home : "") + "/.cache/quillane-bench/corpus-v1";
    std::error_code absent;
    for (const auto& entry : std::filesystem::directory_iterator(bench, absent))
        if (entry.path().extension() == ".jpg") files.push_back(entry.path());
    for (const std::string& file : files) EXPECT_TRUE(WithinBudget(ReadBytes(file))) << file;
}

}  // namespace
}  // namespace quillane::test
