// quillane-batch's options for upload sites, run as a script runs them: each fit on a picture
// with known regions, size windows, the density, an output tree, and every bad option refused
// before anything is written. Outputs are read back by djpeg and ImageMagick.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/BatchFixture.h"

namespace quillane {
namespace {

namespace fs = std::filesystem;
using test::Quote;
using testing::BatchTest;
using Pixel = std::function<bool(const std::uint8_t*)>;

// How many pixels of a line through the picture, from (x, y) by steps of (dx, dy), are like;
// contiguous: only those before the first unlike one.
int Count(const test::RgbPicture& p, int x, int y, int dx, int dy, const Pixel& like,
          bool contiguous = false) {
    int count = 0;
    for (; x >= 0 && y >= 0 && x < p.Width && y < p.Height; x += dx, y += dy) {
        if (like(p.At(x, y)))
            ++count;
        else if (contiguous)
            break;
    }
    return count;
}
// Channels as a pure colour shows them through a JPEG: on (> 160) or off (< 100).
Pixel Colour(bool r, bool g, bool b) {
    return [=](const std::uint8_t* p) {
        return (p[0] > 160) == r && (p[0] < 100) == !r && (p[1] > 160) == g && (p[1] < 100) == !g &&
               (p[2] > 160) == b && (p[2] < 100) == !b;
    };
}

// A 3:4 picture onto 4:5 (240 x 300): a 100-pixel black square in the middle, a 30-row red band
// along the top and a blue one along the bottom. Stretched, the square is squashed; covered, 12
// rows are cut above and 13 below (so the bands lose 14 rows each, within a row); contained, 7
// columns of background go left and 8 right.
TEST_F(BatchTest, EachFitKeepsOrDropsTheProportionsAsItSays) {
    const std::string drawing =
        "-size 300x400 xc:white -fill red -draw 'rectangle 0,0 299,29' -fill blue "
        "-draw 'rectangle 0,370 299,399' -fill black -draw 'rectangle 100,150 199,249' bmp3:";
    for (const char* name : {"a.bmp", "b.bmp"}) Picture(folder / name, drawing);
    const struct {
        std::string Options;
        int SquareWidth, SquareHeight, Band, Left, Right;
    } cases[] = {
        {"--fit stretch", 80, 75, 22, 0, 0},
        {"--fit cover", 80, 80, 14, 0, 0},
        {"--fit contain --background '#00ff00'", 75, 75, 22, 7, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Options);
        const std::string out = work / "out";
        fs::remove_all(out);
        ASSERT_EQ(Command(c.Options + " --width 240 --height 300 --output " + Quote(out) + " " +
                          Quote(folder.Path())),
                  0)
            << Said;
        // The second picture was decoded ahead, the first at its turn: the same bytes.
        EXPECT_EQ(test::ReadBytes(out + "/处理后a.jpg"), test::ReadBytes(out + "/处理后b.jpg"));
        const test::DecodedJpeg d = test::DecodeJpeg(out + "/处理后a.jpg");
        ASSERT_TRUE(d.Ok);
        const test::RgbPicture& p = d.Picture;
        EXPECT_NEAR(Count(p, 0, 150, 1, 0, Colour(0, 0, 0)), c.SquareWidth, 1);
        EXPECT_NEAR(Count(p, 120, 0, 0, 1, Colour(0, 0, 0)), c.SquareHeight, 1);
        EXPECT_NEAR(Count(p, 120, 0, 0, 1, Colour(1, 0, 0)), c.Band, 1);  // red, on top
        EXPECT_NEAR(Count(p, 120, 0, 0, 1, Colour(0, 0, 1)), c.Band, 1);  // blue, at the bottom
        EXPECT_NEAR(Count(p, 0, 150, 1, 0, Colour(0, 1, 0), true), c.Left, 1);
        EXPECT_NEAR(Count(p, 239, 150, -1, 0, Colour(0, 1, 0), true), c.Right, 1);
    }
}

// A noisy photograph is about 45 KB at quality 90 as a 295 x 413 ID photo, 220 KB at 100, 5 KB
// at 10; a flat one 4 KB at any quality.
TEST_F(BatchTest, SizeWindowsAreMetOrThatPictureAloneFails) {
    Picture(folder / "noise.jpg", "-size 600x800 plasma:fractal -quality 95");
    Picture(folder / "flat.jpg", "-size 600x800 xc:gray60");
    const std::string size = "--width 295 --height 413 --fit cover --dpi 350 ";
    const std::string best = work / "best", out = work / "out";
    ASSERT_EQ(Command(size + "--quality 100 --output " + Quote(best) + " " + Quote(folder.Path())),
              0);
    const struct {
        const char* Window;
        int Status;
        std::int64_t Min, Max;  // in KB
    } cases[] = {
        {"10-20", 0, 10, 20},      // the noise lowered; the flat picture raised, then filled
        {"60-80", 0, 60, 80},      // the noise raised
        {"320-400", 0, 320, 320},  // beyond quality 100: filled to exactly 320 KB
        {"-4", 1, 0, 4},           // the noise cannot get this small, the flat picture can
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Window);
        fs::remove_all(out);
        EXPECT_EQ(Command(size + "--kb " + c.Window + " --output " + Quote(out) + " " +
                          Quote(folder.Path())),
                  c.Status)
            << Said;
        for (const char* name : {"/处理后noise.jpg", "/处理后flat.jpg"}) {
            SCOPED_TRACE(name);
            if (c.Status == 1 && std::string(name).ends_with("noise.jpg")) {
                EXPECT_FALSE(fs::exists(out + name));
                EXPECT_NE(Said.find(out + name + ": not saved: even at quality 10 the file is"),
                          std::string::npos);
                EXPECT_NE(Said.find("over the window of at most 4 KB"), std::string::npos);
                continue;
            }
            const auto bytes = static_cast<std::int64_t>(fs::file_size(out + name));
            EXPECT_TRUE(bytes >= c.Min * 1024 && bytes <= c.Max * 1024) << bytes;
            // Filled or not, the pixels of some quality; filled, those of the best one.
            const test::DecodedJpeg d = test::DecodeJpeg(out + name);
            EXPECT_TRUE(d.Ok);
            EXPECT_TRUE(c.Min != 320 || d.Picture.Rgb == test::DecodeJpeg(best + name).Picture.Rgb);
        }
    }
    ASSERT_TRUE(test::Shell("identify -format '%x %y %U' " + Quote(out + "/处理后flat.jpg") + " >" +
                            Quote(work / "density")));
    EXPECT_EQ(work.Read("density"), "350 350 PixelsPerInch");
}

// With --recursive and --output the tree is mirrored: hidden folders, a link back up the tree and
// a link to another folder are passed over, and so, on a second run, is the output folder below.
TEST_F(BatchTest, OutputTreeMirrorsThePictureTreeAndLeavesItAsItWas) {
    const std::vector<std::string> pictures{"a.jpg", "sub/b.BMP", "sub/deeper/c.jpg",
                                            ".hidden/d.jpg"};
    for (const std::string& name : pictures) {
        fs::create_directories(fs::path(folder / name).parent_path());
        Picture(folder / name, "-size 40x30 gradient:red-blue");
    }
    testing::TempFolder elsewhere;
    Picture(elsewhere / "e.jpg", "-size 40x30 xc:red");
    folder.Link("loop", folder.Path());
    folder.Link("linked", elsewhere.Path());
    std::map<std::string, test::Bytes> before;
    for (const std::string& name : pictures) before[name] = test::ReadBytes(folder / name);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        EXPECT_EQ(Command("--recursive --prefix '' --width 20 --height 10 --output " +
                          Quote(folder / "out/") + " " + Quote(folder.Path())),
                  0)
            << Said;
        EXPECT_NE(Said.find("调整成功:3张图片！"), std::string::npos) << Said;
    }
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder.Path()))
        if (!entry.is_symlink()) files.insert(fs::relative(entry.path(), folder.Path()));
    EXPECT_EQ(files, (std::set<std::string>{".hidden", ".hidden/d.jpg", "a.jpg", "out", "out/a.jpg",
                                            "out/sub", "out/sub/b.jpg", "out/sub/deeper",
                                            "out/sub/deeper/c.jpg", "sub", "sub/b.BMP",
                                            "sub/deeper", "sub/deeper/c.jpg"}));
    for (const std::string name : {"a.jpg", "sub/b.jpg", "sub/deeper/c.jpg"})
        EXPECT_EQ(testing::DjpegSize(folder / ("out/" + name), work), std::pair(20, 10)) << name;
    for (const auto& [name, bytes] : before) EXPECT_EQ(test::ReadBytes(folder / name), bytes);
    EXPECT_EQ(elsewhere.Entries(), std::set<std::string>{"e.jpg"});
}

TEST_F(BatchTest, BadOptionsAreRefusedBeforeAnythingIsWritten) {
    Picture(folder / "a.jpg", "-size 40x30 xc:red");
    folder.File("file.txt");
    const std::string never = "--output " + Quote(work / "never/made") + " ";
    const std::pair<std::string, std::string> cases[] = {
        {never + "--kb 50-20", "--kb"},
        {never + "--kb x", "--kb"},
        {never + "--dpi 0", "--dpi"},
        {never + "--quality 101", "--quality"},
        {never + "--fit squash", "--fit"},
        {never + "--background nope", "--background"},
        {never + "--background blue", "--background"},  // nothing to fill without contain
        {never + "--prefix a/b", "--prefix"},
        {"--output " + Quote(folder / "file.txt"), "--output"},
        {"--prefix ''", "--prefix"},
        {"--prefix '' --output " + Quote(folder.Path() + "/."), "--prefix"},
    };
    for (const auto& [options, option] : cases) {
        SCOPED_TRACE(options);
        EXPECT_EQ(Command(options + " " + Quote(folder.Path())), 2);
        EXPECT_TRUE(Said.starts_with("quillane-batch: " + option + ": ") &&
                    Said.find('\n') == Said.size() - 1)
            << Said;
        EXPECT_EQ(folder.Entries(), (std::set<std::string>{"a.jpg", "file.txt"}));
        EXPECT_FALSE(fs::exists(work / "never"));
    }
}

}  // namespace
}  // namespace quillane
