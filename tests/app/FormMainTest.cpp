// The main form: its layout and the listing of real folders.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "app/FormMain.h"
#include "support/FolderFixtures.h"
#include "support/PictureFiles.h"

namespace quillane {
namespace {

using namespace ::testing;  // the matchers

using testing::MessageRecorder;
using testing::TempFolder;
using testing::TextOf;

TEST(FormMainLayout, EveryControlInPlaceWithItsText) {
    const struct {
        const char* Name;
        int Index;
        float Left, Top, Width, Height;
        int TabIndex;
        const char* Text;
    } expected[] = {
        {"DriveS", -1, 16, 16, 305, 22, 0, ""},
        {"DirS", -1, 16, 40, 305, 134, 1, ""},
        {"Label5", -1, 32, 184, 36, 12, 13, "图片数"},
        {"LabCount", -1, 88, 184, 14, 12, 14, "0"},
        {"Label3", -1, 104, 184, 12, 12, 15, "张"},
        {"Label4", -1, 176, 192, 97, 49, 16,
         "小1寸：390*260 中1寸：413*295 大1寸：567*390  2寸：413*626"},
        {"Label1", 0, 32, 208, 36, 12, 7, "像素高"},
        {"txtH", -1, 80, 205, 49, 18, 5, "220"},
        {"height", 1, 128, 208, 18, 12, 9, "pix"},
        {"Label2", -1, 32, 232, 36, 12, 8, "像素宽"},
        {"txtW", -1, 80, 229, 49, 18, 6, "176"},
        {"height", 2, 128, 232, 18, 12, 10, "pix"},
        {"tBar", -1, 16, 264, 313, 17, 11, ""},
        {"CMD_OK", -1, 120, 288, 81, 25, 2, "开始调整"},
        {"Lab1", -1, 376, 200, 18, 12, 12, "c:\\"},
        {"oPic", -1, 352, 40, 144, 148, 4, ""},
        {"sPic", -1, 408, 208, 81, 89, 3, ""},
    };
    FormMain form;
    ASSERT_EQ(form.Controls().size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const Control& c = *form.Controls()[i];
        const auto& e = expected[i];
        SCOPED_TRACE(e.Name);
        EXPECT_EQ(std::tuple(c.Name(), c.Index(), c.Left(), c.Top(), c.Width(), c.Height(),
                             c.TabIndex(), TextOf(c)),
                  std::tuple(std::string(e.Name), e.Index, e.Left, e.Top, e.Width, e.Height,
                             e.TabIndex, std::string(e.Text)));
        const bool listFont =
            c.Kind() == ControlKind::DriveListBox || c.Kind() == ControlKind::DirListBox;
        EXPECT_EQ(c.Font(), listFont ? std::optional<FontSpec>(FontSpec{"宋体", 10.5f, 134, 400})
                                     : std::nullopt);
        EXPECT_EQ(c.Visible(), i + 3 < std::size(expected));  // the last three are never seen
        EXPECT_EQ(c.Enabled(), &c != &form.Lab1);
    }
    EXPECT_EQ(form.Caption, "QuillaneV1.0");
    EXPECT_EQ(std::pair(form.ClientWidth, form.ClientHeight), std::pair(342.f, 324.f));
    EXPECT_TRUE(form.FixedSingleBorder && form.CenterOnScreen);
    EXPECT_FALSE(form.MinButton || form.MaxButton || form.CMD_OK.Default || form.CMD_OK.Cancel);
    EXPECT_EQ(form.tBar.Max(), 100);
}

// The listing takes the files directly in the folder that are not hidden and end in .jpg or
// .bmp in any case, in a stable order; stale content does not survive. Counts beyond 16 bits
// show in full.
TEST(FormMainBrowsing, ListingAndCountFollowTheFolder) {
    TempFolder temp;
    temp.Folder("pics/x.jpg");  // which kinds of entry are files at all is the folder reader's
    temp.Folder("pics/y.BMP/z.jpg");
    for (const char* name : {"c.BMP", "B.bmp", "a.JPG", "b.Jpg", "10.jpg", "9.jpg", "a.jpeg",
                             "b.png", "d.jpg.txt", "e.jpgx", "jpg", "a.j", ".jpg", ".B.BMP"})
        temp.File(std::string("pics/") + name);
    temp.File("pics/z.txt");  // the last entry is no picture
    temp.File("a.jpg");
    MessageRecorder recorder;
    FormMain form;
    const std::vector<std::string> pictures = {"10.jpg", "9.jpg", "a.JPG",
                                               "B.bmp",  "b.Jpg", "c.BMP"};
    for (const auto& [path, folder] : {std::pair{temp / "pics", true},
                                       {temp / "pics/", true},
                                       {temp / "pics/y.BMP/z.jpg", false},
                                       {temp / "missing", false},
                                       {temp / "a.jpg", false}}) {
        std::vector<std::string> list(50, "stale");
        EXPECT_EQ(form.GetDirectoryFileList(path, list), folder) << path;
        EXPECT_TRUE(!folder || list == pictures) << path;
    }
    // Opening the folder by its list entry, as a double-click does.
    form.DirS.SetPath(temp.Path());
    EXPECT_EQ(form.LabCount.Caption(), "1");
    ASSERT_EQ(form.DirS.Entries().back().Name, "pics");
    form.DirS.SetPath(form.DirS.Entries().back().FullPath);
    EXPECT_EQ(form.LabCount.Caption(), "6");
    EXPECT_EQ(form.Lab1.Caption(), temp / "pics");
    EXPECT_EQ(form.FileList(), pictures);
    // One more than a 16-bit count holds: hard links to one file, many names without the cost
    // of as many files.
    const std::string first = temp / "many/p0.jpg";
    temp.Folder("many");
    temp.File("many/p0.jpg");
    for (int i = 1; i < 32768; ++i)
        ASSERT_EQ(link(first.c_str(), (temp / ("many/p" + std::to_string(i) + ".jpg")).c_str()), 0);
    form.DirS.SetPath(temp / "many");
    EXPECT_EQ(std::tuple(form.LabCount.Caption(), form.LabCount.Left(), form.LabCount.Width()),
              std::tuple("32768", 88.f, 30.f));
    EXPECT_TRUE(recorder.Messages.empty());
}
}  // namespace
}  // namespace quillane
