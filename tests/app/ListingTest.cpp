#include <gtest/gtest.h>

#include <functional>

#include "app/FormMain.h"
#include "support/FolderFixtures.h"

namespace quillane {
namespace {

using testing::TempFolder;

struct ListingCase {
    const char* Title;
    std::vector<std::string> Files = {};                // plain files put in the folder
    std::function<void(const TempFolder&)> Other = {};  // any other entries
    std::vector<std::string> Expected = {};             // empty: the listing gives False
    std::string Listed = {};                            // what is listed, under the folder
};

const ListingCase kCases[] = {
    // In a stable order, whatever the case of the names and of the two extensions.
    {"pictures",
     {"c.BMP", "B.bmp", "a.JPG", "b.Jpg", "10.jpg", "9.jpg", "d.jpg", "e.bmp"},
     nullptr,
     {"10.jpg", "9.jpg", "a.JPG", "B.bmp", "b.Jpg", "c.BMP", "d.jpg", "e.bmp"}},
    {"other extensions", {"a.jpeg", "b.png", "c.gif", "d.jpg.txt", "e.jpgx", "f.tif"}},
    // Only regular files (or links to them) that are not hidden count, whatever their names.
    {"other kinds of entries with picture names",
     {"jpg", "a.j", "bmp", ".jpg", ".bmp", ".a.jpg", ".B.BMP"},
     [](const TempFolder& t) {
         t.Folder("x.jpg");
         t.Folder("y.BMP/z.jpg");
         t.Fifo("f.jpg");
         t.Socket("s.bmp");
         t.File("y.BMP/real.jpg");
         t.Link("to-file.jpg", t / "y.BMP/real.jpg");
         t.Link("to-folder.jpg", t / "y.BMP");
         t.Link("dangling.jpg", t / "none.jpg");
         t.File("z.txt");  // the last entry is no picture
     },
     {"to-file.jpg"}},
    {"empty folder"},
    {"missing folder", {"a.jpg"}, nullptr, {}, "missing"},
    {"a file rather than a folder", {"a.jpg"}, nullptr, {}, "a.jpg"},
};

TEST(Listing, PicturesDirectlyInTheFolderWithoutAnyMessage) {
    testing::MessageRecorder recorder;
    FormMain form;
    for (const ListingCase& c : kCases) {
        SCOPED_TRACE(c.Title);
        TempFolder temp;
        for (const std::string& name : c.Files) temp.File(name);
        if (c.Other) c.Other(temp);
        // With or without a trailing separator; stale content must not survive a listing.
        const std::string path = c.Listed.empty() ? temp.Path() : temp / c.Listed;
        for (const std::string& listed : {path, path + "/"}) {
            std::vector<std::string> list(50, "stale");
            const bool found = form.GetDirectoryFileList(listed, list);
            EXPECT_EQ(found, !c.Expected.empty()) << listed;
            if (found) {
                EXPECT_EQ(list, c.Expected) << listed;
            }
        }
    }
    EXPECT_TRUE(recorder.Messages.empty());
}

}  // namespace
}  // namespace quillane
