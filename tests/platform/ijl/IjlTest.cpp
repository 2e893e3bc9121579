#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <set>

#include "platform/ijl/IjlTesting.h"
#include "platform/ijl/ijl.h"
#include "support/PictureFiles.h"

namespace quillane {
namespace {

namespace fs = std::filesystem;
using test::DecodeJpeg;
using test::Pattern;

// Picture memory as the picture-memory class holds it: BGR rows padded to 4 bytes (the fill
// bytes 0xEE), the first row in memory the bottom line when bottomUp is set.
struct Picture {
    int width, height, pad;
    bool bottomUp;
    std::vector<std::uint8_t> bytes;

    Picture(int w, int h, bool up) : width(w), height(h), pad((4 - w * 3 % 4) % 4), bottomUp(up) {
        const std::ptrdiff_t stride = w * 3 + pad;
        bytes.assign(static_cast<std::size_t>(stride) * h, 0xEE);
        test::PaintBgr(Pattern(w, h), up ? BgrView{bytes.data() + (h - 1) * stride, w, h, -stride}
                                         : BgrView{bytes.data(), w, h, stride});
    }
};

class IjlTest : public ::testing::Test {
  protected:
    void TearDown() override { IjlSetFaultsForTesting(IjlFaults{}); }

    // A record readied by ijlInit and filled as the writer fills it.
    JPEG_CORE_PROPERTIES Record(Picture& picture, const std::string& name) {
        m_name = name;
        JPEG_CORE_PROPERTIES p{};
        EXPECT_EQ(ijlInit(&p), IJL_OK);
        p.DIBBytes = picture.bytes.data();
        p.DIBWidth = picture.width;
        p.DIBHeight = picture.bottomUp ? -picture.height : picture.height;
        p.DIBPadBytes = picture.pad;
        p.JPGFile = m_name.c_str();
        p.JPGWidth = picture.width;
        p.JPGHeight = picture.height;
        p.jquality = 90;
        return p;
    }

    std::string Path(const std::string& name) const { return m_temp / name; }
    std::set<std::string> Listing() const { return m_temp.Entries(); }

    testing::TempFolder m_temp;
    fs::path m_folder{m_temp.Path()};
    std::string m_name;
};

// Both row orders and every padding come out upright; each colour layout of the file is as asked.
TEST_F(IjlTest, RowOrdersPaddingsAndColourLayouts) {
    const struct {
        int Width, Height;
        bool BottomUp;
    } cases[] = {{176, 220, true},  {175, 220, true}, {174, 33, true}, {173, 17, true},
                 {176, 220, false}, {173, 17, false}, {1, 1, true},    {9, 300, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.Width << "x" << c.Height << " up " << c.BottomUp);
        Picture picture(c.Width, c.Height, c.BottomUp);
        const std::vector<std::uint8_t> before = picture.bytes;
        JPEG_CORE_PROPERTIES p = Record(picture, Path("out.jpg"));
        ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
        EXPECT_EQ(ijlFree(&p), IJL_OK);
        EXPECT_EQ(picture.bytes, before) << "the encoder must only read the picture";
        const test::DecodedJpeg d = DecodeJpeg(Path("out.jpg"));
        ASSERT_TRUE(d.Ok);
        EXPECT_EQ(std::pair(d.Picture.Width, d.Picture.Height), std::pair(c.Width, c.Height));
        if (c.Width >= 16 && c.Height >= 16) {
            EXPECT_LT(test::MeanError(d.Picture, Pattern(c.Width, c.Height)), 3.0);
            EXPECT_LT(d.Picture.Rgb[0] + d.Picture.Rgb[1] + d.Picture.Rgb[2], 60) << "top-left";
        }
        EXPECT_EQ(Listing(), std::set<std::string>{"out.jpg"});
    }
    for (const auto& [color, subsampling, components, h, v] :
         {std::tuple{IJL_YCBCR, IJL_NONE, 3, 1, 1},
          {IJL_YCBCR, IJL_420, 3, 2, 2},
          {IJL_YCBCR, IJL_422, 3, 2, 1},
          {IJL_G, IJL_NONE, 1, 1, 1}}) {
        Picture picture(64, 48, true);
        JPEG_CORE_PROPERTIES p = Record(picture, Path("layout.jpg"));
        p.JPGColor = color, p.JPGChannels = components, p.JPGSubsampling = subsampling;
        ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
        ijlFree(&p);
        const test::DecodedJpeg d = DecodeJpeg(Path("layout.jpg"));
        EXPECT_EQ(std::tuple(d.Ok, d.Components, d.LumaH, d.LumaV),
                  std::tuple(true, components, h, v))
            << "colour " << color << " subsampling " << subsampling;
    }
}

TEST_F(IjlTest, EachInvalidRecordHasItsOwnStatusAndWritesNothing) {
    struct Case {
        const char* what;
        std::function<void(JPEG_CORE_PROPERTIES&)> change;
        IJLERR status;
        std::int32_t op = IJL_JFILE_WRITEWHOLEIMAGE;
    };
    const std::string folderName = Path("sub") + "/";
    const Case cases[] = {
        {"never initialised", [](auto& p) { p.jprops = IJL_WORKING_STATE{}; }, IJL_NOT_INITIALISED},
        {"unknown operation", [](auto&) {}, IJL_UNSUPPORTED_OPERATION, 7},
        {"no pixels", [](auto& p) { p.DIBBytes = nullptr; }, IJL_NULL_POINTER},
        {"zero width", [](auto& p) { p.DIBWidth = p.JPGWidth = 0; }, IJL_BAD_SIZE},
        {"negative width", [](auto& p) { p.DIBWidth = p.JPGWidth = -4; }, IJL_BAD_SIZE},
        {"zero height", [](auto& p) { p.DIBHeight = p.JPGHeight = 0; }, IJL_BAD_SIZE},
        {"height INT_MIN", [](auto& p) { p.DIBHeight = INT_MIN; }, IJL_BAD_SIZE},
        {"width over libjpeg's limit", [](auto& p) { p.DIBWidth = p.JPGWidth = 65504; },
         IJL_BAD_SIZE},
        {"JPG width differs", [](auto& p) { p.JPGWidth += 1; }, IJL_SIZE_MISMATCH},
        {"JPG height differs", [](auto& p) { p.JPGHeight = p.DIBHeight; }, IJL_SIZE_MISMATCH},
        {"padding 4", [](auto& p) { p.DIBPadBytes = 4; }, IJL_INVALID_PADDING},
        {"padding -1", [](auto& p) { p.DIBPadBytes = -1; }, IJL_INVALID_PADDING},
        {"padding off by one", [](auto& p) { p.DIBPadBytes = 2; }, IJL_INVALID_PADDING},
        {"quality 0", [](auto& p) { p.jquality = 0; }, IJL_INVALID_QUALITY},
        {"quality 101", [](auto& p) { p.jquality = 101; }, IJL_INVALID_QUALITY},
        {"four DIB channels", [](auto& p) { p.DIBChannels = 4; }, IJL_UNSUPPORTED_COLOR},
        {"DIB in YCbCr", [](auto& p) { p.DIBColor = IJL_YCBCR; }, IJL_UNSUPPORTED_COLOR},
        {"JPG in RGB", [](auto& p) { p.JPGColor = IJL_RGB; }, IJL_UNSUPPORTED_COLOR},
        {"unknown subsampling", [](auto& p) { p.JPGSubsampling = 9; }, IJL_UNSUPPORTED_COLOR},
        {"no file name", [](auto& p) { p.JPGFile = nullptr; }, IJL_INVALID_FILENAME},
        {"empty file name", [](auto& p) { p.JPGFile = ""; }, IJL_INVALID_FILENAME},
        {"folder name", [&](auto& p) { p.JPGFile = folderName.c_str(); }, IJL_INVALID_FILENAME},
        {"parent folder", [](auto& p) { p.JPGFile = ".."; }, IJL_INVALID_FILENAME},
    };
    std::set<IJLERR> kinds;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Picture picture(175, 20, true);  // padding 3
        JPEG_CORE_PROPERTIES p = Record(picture, Path("bad.jpg"));
        const IJL_WORKING_STATE state = p.jprops;
        c.change(p);
        EXPECT_EQ(ijlWrite(&p, c.op), c.status);
        EXPECT_TRUE(Listing().empty());
        p.jprops = state;
        EXPECT_EQ(ijlFree(&p), IJL_OK);
        kinds.insert(c.status);
    }
    EXPECT_EQ(kinds.size(), 9u) << "every kind of fault has a status of its own";
    EXPECT_TRUE(std::all_of(kinds.begin(), kinds.end(), [](IJLERR s) { return s < 0; }));

    // No record, a freed one, and one whose init failed (handing back the status it was given).
    EXPECT_EQ(ijlInit(nullptr), IJL_INVALID_JPEG_PROPERTIES);
    EXPECT_EQ(ijlWrite(nullptr, IJL_JFILE_WRITEWHOLEIMAGE), IJL_INVALID_JPEG_PROPERTIES);
    EXPECT_EQ(ijlFree(nullptr), IJL_INVALID_JPEG_PROPERTIES);
    Picture picture(8, 8, true);
    JPEG_CORE_PROPERTIES p = Record(picture, Path("x.jpg"));
    EXPECT_EQ(ijlFree(&p), IJL_OK);
    EXPECT_EQ(ijlFree(&p), IJL_NOT_INITIALISED);
    EXPECT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_NOT_INITIALISED);
    EXPECT_TRUE(Listing().empty());
    IjlSetFaultsForTesting(IjlFaults{-1, 0, -1, 0});
    JPEG_CORE_PROPERTIES failed{};
    EXPECT_EQ(ijlInit(&failed), -1);
    EXPECT_EQ(ijlFree(&failed), IJL_NOT_INITIALISED);
}

TEST_F(IjlTest, AFailedWriteLeavesNothingBehindAndTheOldFileIntact) {
    // Noise makes a file of several output buffers, so failures land before, inside and
    // after the first flush as well as at the final rename.
    Picture picture(400, 300, true);
    std::uint32_t x = 12345;
    for (auto& byte : picture.bytes)
        byte = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    struct Case {
        const char* what;
        IjlFaults faults;
        bool targetExists;
    };
    const Case cases[] = {
        {"disk full at once", {0, 0, 0, 0}, true},
        {"disk full after 100 bytes", {0, 0, 100, 0}, true},
        {"disk full after 70000 bytes", {0, 0, 70000, 0}, true},
        {"disk full, no old file", {0, 0, 70000, 0}, false},
        {"folder refuses new files", {0, EACCES, -1, 0}, true},
        {"rename refused", {0, 0, -1, EACCES}, true},
        {"rename refused, no old file", {0, 0, -1, EXDEV}, false},
    };
    const std::string old = "old picture bytes, which must survive\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(m_folder / "target.jpg");
        if (c.targetExists) m_temp.File("target.jpg", old);
        JPEG_CORE_PROPERTIES p = Record(picture, Path("target.jpg"));
        IjlSetFaultsForTesting(c.faults);
        EXPECT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_FILE_ERROR);
        IjlSetFaultsForTesting(IjlFaults{});
        if (c.targetExists) {
            EXPECT_EQ(Listing(), std::set<std::string>{"target.jpg"});
            EXPECT_EQ(m_temp.Read("target.jpg"), old);
        } else {
            EXPECT_TRUE(Listing().empty());
        }
        // The same record works again once the disk recovers.
        ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
        EXPECT_TRUE(DecodeJpeg(Path("target.jpg")).Ok);
        EXPECT_EQ(Listing(), std::set<std::string>{"target.jpg"});
        ijlFree(&p);
    }
}

TEST_F(IjlTest, NewFilesFollowTheUmaskAndReplacedFilesKeepTheirPermissions) {
    const mode_t previous = umask(027);
    Picture picture(16, 16, true);
    JPEG_CORE_PROPERTIES p = Record(picture, Path("new.jpg"));
    ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
    umask(previous);
    EXPECT_EQ(fs::status(m_folder / "new.jpg").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    m_temp.File("kept.jpg", "old");
    fs::permissions(m_folder / "kept.jpg",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    m_name = Path("kept.jpg");
    p.JPGFile = m_name.c_str();
    ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
    EXPECT_EQ(fs::status(m_folder / "kept.jpg").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    EXPECT_TRUE(DecodeJpeg(Path("kept.jpg")).Ok);

    // A folder under the name, or a folder that is not there, refuses the file.
    fs::create_directory(m_folder / "taken.jpg");
    for (const std::string& name : {Path("taken.jpg"), Path("nowhere/out.jpg")}) {
        m_name = name;
        p.JPGFile = m_name.c_str();
        EXPECT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_FILE_ERROR) << name;
        EXPECT_EQ(Listing(), (std::set<std::string>{"kept.jpg", "new.jpg", "taken.jpg"}));
        EXPECT_TRUE(fs::is_empty(m_folder / "taken.jpg"));
    }
    ijlFree(&p);
}

}  // namespace
}  // namespace quillane
