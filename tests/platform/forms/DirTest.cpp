#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/forms/Dir.h"
#include "support/FolderFixtures.h"

namespace quillane {
namespace {

using testing::ErrorOf;
using testing::TempFolder;

std::vector<std::string> ListAll(const std::string& pattern, int attributes = vbNormal) {
    std::vector<std::string> names;
    for (std::string name = Dir(pattern, attributes); !name.empty(); name = Dir()) {
        names.push_back(name);
        if (names.size() > 10000) break;  // a cursor that never ends is a fault, not a hang
    }
    return names;
}

// Without attribute bits only regular files and links to them are listed; each bit adds its
// kinds. A FIFO opened for reading would block here for ever; ending proves none was opened.
TEST(Dir, AttributeBitsChooseTheKindsAndNothingIsOpened) {
    TempFolder temp;  // every kind of entry a folder may hold
    for (const char* name : {"plain.txt", "README", ".hidden.jpg", ".jpg"}) temp.File(name);
    temp.Folder("x.jpg");
    temp.Folder(".git");
    temp.Fifo("fifo.jpg");
    temp.Socket("socket.bmp");
    temp.Link("link-to-file.jpg", temp / "plain.txt");
    temp.Link("link-to-folder.jpg", temp / "x.jpg");
    temp.Link("dangling.jpg", temp / "nothing");
    temp.Link(".hidden-link.jpg", temp / "plain.txt");
    const std::tuple<int, std::vector<std::string>> cases[] = {
        {vbNormal, {"link-to-file.jpg", "plain.txt", "README"}},
        {vbDirectory, {"link-to-file.jpg", "link-to-folder.jpg", "plain.txt", "README", "x.jpg"}},
        {vbHidden,
         {".hidden-link.jpg", ".hidden.jpg", ".jpg", "link-to-file.jpg", "plain.txt", "README"}},
        {vbSystem,
         {"dangling.jpg", "fifo.jpg", "link-to-file.jpg", "plain.txt", "README", "socket.bmp"}},
    };
    for (const auto& [attributes, names] : cases) {
        EXPECT_EQ(ListAll(temp / "*.*", attributes), names) << attributes;
    }
}

// Names are bytes as stored (the last one is no UTF-8), sorted without case, ties by byte;
// masks match without case.
TEST(Dir, CaseInsensitiveOrderAndMasks) {
    TempFolder temp;
    const std::vector<std::string> expected = {
        "10.jpg", "9.jpg",  "_x",    "A.jpg",          "a.jpg",           "ab",
        "b.jpg",  "c.jpeg", "Z.bmp", "处理后照片.JPG", "\xff\xfe odd.jpg"};
    for (const std::string& name : expected) temp.File(name);
    EXPECT_EQ(ListAll(temp / "*.*"), expected);
    EXPECT_EQ(ListAll(temp / "?.*p*"),
              (std::vector<std::string>{"9.jpg", "A.jpg", "a.jpg", "b.jpg", "c.jpeg", "Z.bmp"}));
    EXPECT_EQ(ListAll(temp / "*.JPG").size(), 7u);
    EXPECT_TRUE(ListAll(temp / "*.png").empty());
}

// A root user reads the closed folder: only the other two fail then.
TEST(Dir, FoldersThatCannotBeListedRaiseAndEndTheCursor) {
    TempFolder temp;
    temp.File("a.jpg");
    temp.File("b.jpg");
    temp.Folder("closed");
    chmod((temp / "closed").c_str(), 0);
    const std::tuple<std::string, int> cases[] = {{temp / "missing/*.*", 76},
                                                  {temp / "a.jpg/*.*", 76},
                                                  {temp / "closed/*.*", geteuid() == 0 ? 0 : 75}};
    for (const auto& [pattern, error] : cases) {
        EXPECT_EQ(Dir(temp / "*.*", vbNormal), "a.jpg");  // an enumeration left half-way
        EXPECT_EQ(ErrorOf([&] { Dir(pattern, vbNormal); }), error) << pattern;
        EXPECT_TRUE(!error || Dir().empty()) << "a failed start must not continue the old one";
    }
    chmod((temp / "closed").c_str(), 0700);
}

}  // namespace
}  // namespace quillane
