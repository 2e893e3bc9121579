// What a folder may hold besides good pictures: damaged, empty, disguised and oversized files,
// things that are not files at all. Each gives the right error, naming the file, and never a
// damaged picture, a hang or a crash.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/picture/PictureFile.h"
#include "support/PictureFiles.h"

namespace quillane::test {
namespace {

Raised OpenAndDecode(const std::string& path) {
    return RaisedBy([&] { (void)PictureFile::Open(path)->Decode(0, 0); });
}

RgbPicture Noise(int width, int height) {  // the same pseudo-random bytes every run
    RgbPicture picture{width, height, Bytes(std::size_t(width) * height * 3)};
    std::uint32_t state = 12345;
    for (auto& byte : picture.Rgb) byte = std::uint8_t((state = state * 1103515245 + 12345) >> 16);
    return picture;
}

// A JPEG or a BMP cut anywhere (the empty file included), or a JPEG with an end marker inside its
// scan, is refused and never half-decoded, whether decoded whole or stretched as it is decoded.
// One whose header declares a vast picture is refused from the header alone.
TEST(HostileInput, DamagedFilesAreRefused) {
    TempDir dir;
    ASSERT_TRUE(Cjpeg(Noise(64, 48), "", dir.Path("b.jpg")));
    ASSERT_TRUE(Cjpeg(Noise(64, 48), "-progressive", dir.Path("p.jpg")));
    ASSERT_TRUE(Convert(dir.Path("b.jpg.ppm"), "", dir.Path("n.bmp"), "bmp3"));
    for (const std::string name : {"b.jpg", "p.jpg", "n.bmp"}) {
        const Bytes whole = ReadBytes(dir.Path(name));
        ASSERT_GT(whole.size(), 1000u);
        // Step 40 puts an end marker inside a JPEG's scan, where it cannot stand.
        for (int step = 0; step <= (name == "n.bmp" ? 39 : 40); ++step) {
            Bytes bytes(whole.begin(), whole.begin() + std::ptrdiff_t(whole.size() * step / 40));
            if (step == 40)
                bytes[whole.size() * 2 / 3] = 0xFF, bytes[whole.size() * 2 / 3 + 1] = 0xD9;
            SCOPED_TRACE(name + " step " + std::to_string(step));
            const std::string path = dir.Path("damaged_" + name);
            WriteBytes(path, bytes);
            // Streamed row by row into the filter, the missing rows are found just the same.
            for (const Raised& raised : {OpenAndDecode(path), RaisedBy([&] {
                                             (void)PictureFile::Open(path)->DecodeStretched(16, 12);
                                         })}) {
                EXPECT_EQ(raised.Number, ErrorNumber::InvalidPicture) << raised.Description;
                const std::string& text = raised.Description;
                EXPECT_TRUE(text.find("'damaged_" + name + "' is ") != std::string::npos &&
                            text.find(bytes.empty() ? "' is empty" : " damaged") !=
                                std::string::npos)
                    << text;
            }
        }
        SCOPED_TRACE(name + " declaring 60138 x 60138 pixels");
        Bytes vast = whole;
        // 0xEAEA either way round: BMP's sizes at 18 and 22, JPEG's in its start of frame.
        const bool bmp = name == "n.bmp";
        std::size_t at = bmp ? 13 : 2;
        while (!bmp && !(vast[at] == 0xFF && (vast[at + 1] | 2) == 0xC2)) ++at;
        for (std::size_t i : {5u, 6u, bmp ? 9u : 7u, bmp ? 10u : 8u}) vast[at + i] = 0xEA;
        const std::string path = dir.Path("vast_" + name);
        WriteBytes(path, vast);
        const Raised raised = RaisedBy([&] { (void)PictureFile::Open(path); });
        EXPECT_TRUE(raised.Number == ErrorNumber::OutOfMemory ||
                    raised.Number == ErrorNumber::InvalidPicture)
            << raised.Description;
        EXPECT_NE(raised.Description.find("'vast_" + name + "'"), std::string::npos)
            << raised.Description;
    }
}

// Each thing that is no picture gives its error and says why, naming the file; a picture under
// another format's name is read by its content.
TEST(HostileInput, ErrorNumbersAndDescriptionsAndDisguisedPictures) {
    TempDir dir;
    dir.Fifo("pipe.jpg");
    dir.Folder("folder.jpg");
    dir.Link("loop.jpg", "loop.jpg");
    dir.File("garbage.jpg", "hello world");
    WriteBytes(dir.Path("fake.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02, 0x01, 0x02, 0x03});
    dir.File("empty.bmp", "");
    dir.Socket("socket.jpg");
    const struct {
        const char* Name;
        ErrorNumber Number;
        const char* Why;
    } cases[] = {{"missing.jpg", ErrorNumber::FileNotFound, "does not exist"},
                 {"pipe.jpg", ErrorNumber::PathFileAccessError, "is not a regular file"},
                 {"socket.jpg", ErrorNumber::PathFileAccessError, "is not a regular file"},
                 {"folder.jpg", ErrorNumber::PathFileAccessError, "is a folder"},
                 {"loop.jpg", ErrorNumber::PathFileAccessError, "is a symbolic link"},
                 {"garbage.jpg", ErrorNumber::InvalidPicture,
                  "is not a JPEG or BMP picture (unknown format)"},
                 {"fake.jpg", ErrorNumber::InvalidPicture, "is damaged"},
                 {"empty.bmp", ErrorNumber::InvalidPicture, "is empty"}};
    for (const auto& c : cases) {
        const Raised raised = OpenAndDecode(dir.Path(c.Name));
        EXPECT_EQ(raised.Number, c.Number) << c.Name;
        EXPECT_NE(raised.Description.find(std::string("'") + c.Name + "' " + c.Why),
                  std::string::npos)
            << raised.Description;
    }
    if (geteuid() != 0) {  // root reads everything
        dir.File("locked.jpg", "\xFF\xD8");
        ::chmod(dir.Path("locked.jpg").c_str(), 0);
        EXPECT_EQ(OpenAndDecode(dir.Path("locked.jpg")).Number, ErrorNumber::PathFileAccessError);
    }
    const RgbPicture noise = Noise(9, 5);
    WritePpm(dir.Path("n.ppm"), noise);
    for (const auto& [name, format] : {std::pair{"photo.jpg", "png"}, {"scan.png", "bmp3"}}) {
        ASSERT_TRUE(Convert(dir.Path("n.ppm"), "", dir.Path(name), format));
        EXPECT_EQ(FirstDifference(PictureFile::Open(dir.Path(name))->Decode(0, 0), noise), "")
            << name;
    }
}

}  // namespace
}  // namespace quillane::test
