// What a folder may hold besides good pictures: damaged and empty files, things that are not
// files at all. Each gives the right error, naming the file, and never a damaged picture,
// a hang or a crash. (Pictures declaring a vast size are refused in the batch tests.)

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/picture/PictureFile.h"
#include "platform/picture/jpeg/progressive/JpegProgressiveReader.h"
#include "support/PictureFiles.h"

namespace quillane::test {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

// Decoded whole, or streamed into a filter this wide (and three quarters as high).
Raised OpenAndDecode(const std::string& path, int stretchedTo = 0) {
    return RaisedBy([&] {
        auto file = PictureFile::Open(path);
        (void)(stretchedTo ? file->DecodeStretched(stretchedTo, stretchedTo * 3 / 4)
                           : file->Decode(0, 0));
    });
}

// A JPEG or a BMP cut anywhere (the empty file included), or a JPEG with an end marker inside its
// scan, is refused and never half-decoded, whether decoded whole or stretched as it is decoded.
// A progressive file shrunk by eight is read from its DC scans by our own reader, which refuses
// damaged or cut DC data and damaged structure around it. Each thing that is no picture gives its
// error and says why, naming the file.
TEST(HostileInput, DamagedFilesAndNonPicturesAreRefused) {
    TempDir dir;
    ASSERT_TRUE(Cjpeg(Pattern(128, 96), "", dir.Path("b.jpg")));
    ASSERT_TRUE(Cjpeg(Pattern(128, 96), "-progressive", dir.Path("p.jpg")));
    ASSERT_TRUE(Cjpeg(Pattern(643, 487), ScansApart(dir) + "2x2 -restart 1", dir.Path("d.jpg")));
    ASSERT_TRUE(Convert(dir.Path("b.jpg.ppm"), "", dir.Path("n.bmp"), "bmp3"));
    auto expectRefused = [&](const std::string& name, const Bytes& bytes, bool whole) {
        const std::string path = dir.Path("damaged_" + name);
        WriteBytes(path, bytes);
        for (const int stretchedTo : {whole ? 0 : 16, 16}) {
            const Raised raised = OpenAndDecode(path, stretchedTo);
            EXPECT_EQ(raised.Number, ErrorNumber::InvalidPicture) << raised.Description;
            EXPECT_THAT(raised.Description,
                        AllOf(HasSubstr("'damaged_" + name + "' is "),
                              HasSubstr(bytes.empty() ? "' is empty" : " damaged")));
        }
    };
    for (const std::string name : {"b.jpg", "p.jpg", "n.bmp"}) {
        const Bytes whole = ReadBytes(dir.Path(name));
        // Step 40 puts an end marker inside a JPEG's scan, where it cannot stand.
        for (int step = 0; step <= (name == "n.bmp" ? 39 : 40); ++step) {
            Bytes bytes(whole.begin(), whole.begin() + std::ptrdiff_t(whole.size() * step / 40));
            if (step == 40)
                bytes[whole.size() * 2 / 3] = 0xFF, bytes[whole.size() * 2 / 3 + 1] = 0xD9;
            SCOPED_TRACE(name + " step " + std::to_string(step));
            expectRefused(name, bytes, true);
        }
    }
    const Bytes good = ReadBytes(dir.Path("d.jpg"));
    auto find = [&](std::uint8_t marker) {
        const std::uint8_t bytes[] = {0xFF, marker};
        return std::size_t(std::search(good.begin(), good.end(), bytes, bytes + 2) - good.begin());
    };
    const std::size_t huffman = find(0xC4), scan = find(0xDA), restart = find(0xD0);
    ASSERT_LT(restart, good.size());
    // Where, and the byte written there (-1: the file is cut there).
    const std::pair<std::size_t, int> damages[] = {
        {scan + 40, -1},            // cut in the first DC scan
        {good.size() * 4 / 5, -1},  // cut in the AC scans
        {good.size() - 1, -1},      // cut before the end
        {huffman + 5, 0xFF},        // codes that do not fit
        {restart + 1, 0xD3},        // restart out of turn
        {scan + 5, 0x77},           // unknown component
        {scan + 9, 0x10},           // refinement before its first scan
        {scan + 30, 0xFF},          // garbage data
    };
    for (const auto& [at, value] : damages) {
        SCOPED_TRACE(at);
        Bytes bad(good.begin(), value < 0 ? good.begin() + std::ptrdiff_t(at) : good.end());
        if (value >= 0) bad[at] = std::uint8_t(value);
        EXPECT_FALSE(ReadProgressiveShrunk(bad, 8).Ok());
        expectRefused("d.jpg", bad, false);
    }
    dir.Fifo("pipe.jpg");
    dir.Folder("folder.jpg");
    dir.Link("loop.jpg", "loop.jpg");
    dir.File("garbage.jpg", "hello world");
    const std::tuple<const char*, ErrorNumber, const char*> cases[] = {
        {"missing.jpg", ErrorNumber::FileNotFound, "does not exist"},
        {"pipe.jpg", ErrorNumber::PathFileAccessError, "is not a regular file"},
        {"folder.jpg", ErrorNumber::PathFileAccessError, "is a folder"},
        {"loop.jpg", ErrorNumber::PathFileAccessError, "is a symbolic link"},
        {"garbage.jpg", ErrorNumber::InvalidPicture,
         "is not a JPEG or BMP picture (unknown format)"},
    };
    for (const auto& [name, number, why] : cases) {
        const Raised raised = OpenAndDecode(dir.Path(name));
        EXPECT_EQ(raised.Number, number) << name;
        EXPECT_THAT(raised.Description, HasSubstr(std::string("'") + name + "' " + why));
    }
}

}  // namespace
}  // namespace quillane::test
