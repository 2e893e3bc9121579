#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/FormMain.h"
#include "support/FolderFixtures.h"

namespace quillane {
namespace {

using testing::TempFolder;

struct ListingCase {
    const char* Title;
    std::function<void(const TempFolder&)> Fill;
    std::vector<std::string> Expected;  // empty: the listing gives False
};

const ListingCase kCases[] = {
    {"any case of the two extensions",
     [](const TempFolder& t) {
         for (const char* n : {"a.JPG", "b.Jpg", "c.BMP", "d.jpg", "e.bmp"}) t.File(n);
     },
     {"a.JPG", "b.Jpg", "c.BMP", "d.jpg", "e.bmp"}},
    {"other extensions",
     [](const TempFolder& t) {
         for (const char* n : {"a.jpeg", "b.png", "c.gif", "d.jpg.txt", "e.jpgx", "f.tif"})
             t.File(n);
     },
     {}},
    // Only regular files (or links to them) that are not hidden count, whatever their names.
    {"other kinds of entries with picture names",
     [](const TempFolder& t) {
         for (const char* n : {"jpg", "a.j", "bmp", ".jpg", ".bmp", ".a.jpg", ".B.BMP"}) t.File(n);
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
    {"empty folder", [](const TempFolder&) {}, {}},
    {"stable order",
     [](const TempFolder& t) {
         for (const char* n : {"c.jpg", "B.bmp", "a.JPG", "b.jpg", "10.jpg", "9.jpg"}) t.File(n);
     },
     {"10.jpg", "9.jpg", "a.JPG", "B.bmp", "b.jpg", "c.jpg"}},
};

TEST(Listing, PicturesDirectlyInTheFolder) {
    FormMain form;
    for (const ListingCase& c : kCases) {
        TempFolder temp;
        c.Fill(temp);
        // Stale content must not survive a successful listing.
        std::vector<std::string> list(50, "stale");
        const bool found = form.GetDirectoryFileList(temp.Path(), list);
        EXPECT_EQ(found, !c.Expected.empty()) << c.Title;
        if (found) {
            EXPECT_EQ(list, c.Expected) << c.Title;
        }
        // With a trailing separator the same folder lists the same.
        std::vector<std::string> again;
        EXPECT_EQ(form.GetDirectoryFileList(temp.Path() + "/", again), found) << c.Title;
        if (found) {
            EXPECT_EQ(again, c.Expected) << c.Title;
        }
    }
}

TEST(Listing, MissingFolderIsFalseWithoutAMessage) {
    testing::MessageRecorder recorder;
    FormMain form;
    TempFolder temp;
    temp.File("a.jpg");
    std::vector<std::string> list;
    EXPECT_FALSE(form.GetDirectoryFileList(temp / "missing", list));
    EXPECT_FALSE(form.GetDirectoryFileList(temp / "a.jpg", list));
    EXPECT_TRUE(recorder.Messages.empty());
}

TEST(Listing, RootIsListedAsItself) {
    // "/" already ends in the separator; the listing must be that of the root.
    std::vector<std::string> expected;
    for (const auto& entry : std::filesystem::directory_iterator("/")) {
        const std::string name = entry.path().filename().string();
        std::string extension = name.size() >= 4 ? name.substr(name.size() - 4) : "";
        std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
        if (name[0] != '.' && entry.is_regular_file() &&
            (extension == ".jpg" || extension == ".bmp")) {
            expected.push_back(name);
        }
    }
    FormMain form;
    std::vector<std::string> list;
    const bool found = form.GetDirectoryFileList("/", list);
    EXPECT_EQ(found, !expected.empty());
    if (found) {
        std::sort(expected.begin(), expected.end());
        std::sort(list.begin(), list.end());
        EXPECT_EQ(list, expected);
    }
}

}  // namespace
}  // namespace quillane
