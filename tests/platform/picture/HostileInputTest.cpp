// What a folder may hold besides good pictures: damaged, empty, disguised and oversized files,
// things that are not files at all. Each gives the right error, naming the file, and never a
// damaged picture, a hang or a crash.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/picture/PictureFile.h"
#include "support/PictureFiles.h"

namespace quillane::test {
namespace {

Raised OpenAndDecode(const std::string& path) {
    return RaisedBy([&] { (void)PictureFile::Open(path)->Decode(0, 0); });
}

RgbPicture Noise(int width, int height) {
    RgbPicture picture{width, height, {}};
    std::uint32_t state = 12345;
    for (int i = 0; i < width * height * 3; ++i) {
        state = state * 1103515245 + 12345;
        picture.Rgb.push_back(std::uint8_t(state >> 16));
    }
    return picture;
}

// A JPEG and a BMP cut anywhere (the empty file included) are refused, never half-decoded,
// whether decoded whole or stretched as they are decoded.
TEST(HostileInput, TruncatedFilesAtManyCutPointsAreInvalid) {
    REQUIRE_TOOL("cjpeg");
    REQUIRE_TOOL("convert");
    TempDir dir;
    ASSERT_TRUE(Cjpeg(Noise(64, 48), "", dir.Path("b.jpg")));
    ASSERT_TRUE(Cjpeg(Noise(64, 48), "-progressive", dir.Path("p.jpg")));
    ASSERT_TRUE(Convert(dir.Path("b.jpg.ppm"), "", dir.Path("n.bmp"), "bmp3"));
    for (const char* name : {"b.jpg", "p.jpg", "n.bmp"}) {
        const Bytes whole = ReadBytes(dir.Path(name));
        ASSERT_GT(whole.size(), 1000u);
        for (int step = 0; step < 40; ++step) {
            const std::size_t cut = whole.size() * step / 40;
            SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut));
            const std::string path = dir.Path(std::string("cut_") + name);
            WriteBytes(path, Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(cut)));
            const Raised raised = OpenAndDecode(path);
            EXPECT_EQ(raised.Number, ErrorNumber::InvalidPicture) << raised.Description;
            EXPECT_NE(raised.Description.find("'cut_"), std::string::npos) << raised.Description;
            // Streamed row by row into the filter, the missing rows are found just the same.
            const Raised streamed =
                RaisedBy([&] { (void)PictureFile::Open(path)->DecodeStretched(16, 12); });
            EXPECT_EQ(streamed.Number, ErrorNumber::InvalidPicture) << streamed.Description;
        }
    }
}

TEST(HostileInput, ErrorNumbersAndDescriptions) {
    TempDir dir;
    dir.Fifo("pipe.jpg");
    dir.Folder("folder.jpg");
    dir.Link("loop.jpg", "loop.jpg");
    dir.File("garbage.jpg", "hello world");
    WriteBytes(dir.Path("fake.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02, 0x01, 0x02, 0x03});
    dir.File("empty.bmp", "");
    dir.Socket("socket.jpg");

    struct Case {
        const char* Name;
        ErrorNumber Number;
        const char* Why;
    };
    const Case cases[] = {
        {"missing.jpg", ErrorNumber::FileNotFound, "does not exist"},
        {"pipe.jpg", ErrorNumber::PathFileAccessError, "not a regular file"},
        {"socket.jpg", ErrorNumber::PathFileAccessError, "not a regular file"},
        {"folder.jpg", ErrorNumber::PathFileAccessError, "folder"},
        {"loop.jpg", ErrorNumber::PathFileAccessError, "symbolic link"},
        {"garbage.jpg", ErrorNumber::InvalidPicture, "unknown format"},
        {"fake.jpg", ErrorNumber::InvalidPicture, "damaged"},
        {"empty.bmp", ErrorNumber::InvalidPicture, "empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Raised raised = OpenAndDecode(dir.Path(c.Name));
        EXPECT_EQ(raised.Number, c.Number);
        EXPECT_NE(raised.Description.find(std::string("'") + c.Name + "'"), std::string::npos)
            << raised.Description;
        EXPECT_NE(raised.Description.find(c.Why), std::string::npos) << raised.Description;
    }
    if (geteuid() != 0) {  // root reads everything
        dir.File("locked.jpg", "\xFF\xD8");
        ::chmod(dir.Path("locked.jpg").c_str(), 0);
        EXPECT_EQ(OpenAndDecode(dir.Path("locked.jpg")).Number, ErrorNumber::PathFileAccessError);
    }
}

TEST(HostileInput, ContentDecidesTheFormatNotTheName) {
    REQUIRE_TOOL("convert");
    TempDir dir;
    const RgbPicture noise = Noise(9, 5);
    WritePpm(dir.Path("n.ppm"), noise);
    ASSERT_TRUE(Convert(dir.Path("n.ppm"), "", dir.Path("photo.jpg"), "png"));
    ASSERT_TRUE(Convert(dir.Path("n.ppm"), "", dir.Path("scan.png"), "bmp3"));
    for (const char* name : {"photo.jpg", "scan.png"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(FirstDifference(PictureFile::Open(dir.Path(name))->Decode(0, 0), noise), "");
    }
}

// A header that declares a vast picture is refused from the header alone.
TEST(HostileInput, DecompressionBombsAreRefusedBeforeAllocating) {
    REQUIRE_TOOL("cjpeg");
    REQUIRE_TOOL("convert");
    TempDir dir;
    ASSERT_TRUE(Cjpeg(Noise(16, 16), "", dir.Path("bomb.jpg")));
    ASSERT_TRUE(Convert(dir.Path("bomb.jpg.ppm"), "", dir.Path("bomb.bmp"), "bmp3"));

    Bytes jpeg = ReadBytes(dir.Path("bomb.jpg"));
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // SOF0: height and width, big-endian
            jpeg[i + 5] = 60000 >> 8, jpeg[i + 6] = 60000 & 0xFF;
            jpeg[i + 7] = 60000 >> 8, jpeg[i + 8] = 60000 & 0xFF;
            break;
        }
    }
    WriteBytes(dir.Path("bomb.jpg"), jpeg);
    Bytes bmp = ReadBytes(dir.Path("bomb.bmp"));
    for (std::size_t at : {18u, 22u}) {  // biWidth, biHeight
        bmp[at] = 60000 & 0xFF, bmp[at + 1] = 60000 >> 8, bmp[at + 2] = 0, bmp[at + 3] = 0;
    }
    WriteBytes(dir.Path("bomb.bmp"), bmp);

    for (const char* name : {"bomb.jpg", "bomb.bmp"}) {
        SCOPED_TRACE(name);
        const Raised raised = RaisedBy([&] { (void)PictureFile::Open(dir.Path(name)); });
        EXPECT_TRUE(raised.Number == ErrorNumber::OutOfMemory ||
                    raised.Number == ErrorNumber::InvalidPicture)
            << raised.Description;
        EXPECT_NE(raised.Description.find(name), std::string::npos) << raised.Description;
    }
}

}  // namespace
}  // namespace quillane::test
