#include <gtest/gtest.h>

#include <cmath>

#include "platform/forms/ControlArray.h"
#include "platform/forms/DirListBox.h"
#include "platform/forms/DriveListBox.h"
#include "platform/forms/Events.h"
#include "platform/forms/Form.h"
#include "platform/forms/Label.h"
#include "platform/forms/ProgressBar.h"
#include "support/FolderFixtures.h"

namespace quillane {
namespace {

using testing::ErrorOf;
using testing::FixedVolumes;
using testing::MessageRecorder;
using testing::TempFolder;

// A drive text names its volume however it is spelled; one that names no reachable volume
// raises 68 and changes nothing.
TEST(FormsEvents, DriveChangeRunsInsideTheAssignmentAndUnknownDrivesRaise68) {
    TempFolder temp;
    FixedVolumes volumes({{"/", "System"}, {temp.Path(), "T"}, {temp / "gone", "Gone"}});
    DriveListBox drives("DriveS", 0, 0, 100, 20, 0);
    std::vector<std::string> seen;
    drives.OnChange = [&] { seen.push_back(drives.Drive()); };
    drives.SetDrive("c:");
    seen.clear();  // a change or not, by where the working folder lies
    drives.SetDrive(temp.Path() + "/");
    drives.SetDrive(temp.Path() + " [T]");
    for (const std::string& text :
         std::vector<std::string>{"d:", "", "/nowhere", "System", temp / "gone [Gone]"}) {
        EXPECT_EQ(ErrorOf([&] { drives.SetDrive(text); }), 68) << text;
    }
    EXPECT_EQ(drives.Drive(), temp.Path() + " [T]");
    drives.SetDrive("C:\\");
    EXPECT_EQ(seen, (std::vector<std::string>{temp.Path() + " [T]", "/ [System]"}));
    EXPECT_EQ(drives.ListIndex(), 0);
    EXPECT_EQ(drives.List(),
              (std::vector<std::string>{"/ [System]", temp.Path() + " [T]", temp / "gone [Gone]"}));
}

// The change event runs inside the assignment and only on a change; a bad path raises 76 and
// keeps the path; an error leaving the handler is shown and the assignment returns.
TEST(FormsFolderList, ChangesBadPathsHandlerErrorsAndEntries) {
    TempFolder temp;
    temp.Folder("a");
    temp.File("file.jpg");
    MessageRecorder recorder;
    DirListBox list("DirS", 0, 0, 100, 100, 0);
    std::vector<std::string> seen;
    list.OnChange = [&] { seen.push_back(list.Path()); };
    list.SetPath(temp / "a");
    ASSERT_EQ(seen, std::vector<std::string>{temp / "a"}) << "must run before SetPath returns";
    list.SetPath(temp / "a/./");  // the same folder spelled differently
    list.SetPath("..");           // relative to the current folder
    for (const std::string& path :
         {temp / "missing", temp / "file.jpg", temp / "file.jpg/x", std::string()}) {
        EXPECT_EQ(ErrorOf([&] { list.SetPath(path); }), 76) << path;
    }
    EXPECT_EQ(seen, (std::vector<std::string>{temp / "a", temp.Path()}));
    EXPECT_EQ(list.Path(), temp.Path());
    list.OnChange = [] { RaiseError(ErrorNumber::PathNotFound, "Path not found: /x"); };
    list.SetPath(temp / "a");
    EXPECT_EQ(list.Path(), temp / "a");
    ASSERT_EQ(recorder.Messages.size(), 1u);
    EXPECT_EQ(recorder.Messages[0].Prompt, "Path not found: /x");

    // The entries: the ancestors, then the visible sub-folders sorted without case.
    for (const char* name : {"cur/Zeta", "cur/alpha", "cur/.hidden", "cur/Beta"}) temp.Folder(name);
    temp.File("cur/file.jpg");
    temp.Link("cur/linked", temp.Path());
    temp.Link("cur/dangling", temp / "nothing");
    list.OnChange = {};
    list.SetPath(temp / "cur");

    const auto& entries = list.Entries();
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.Name);
    const int current = list.CurrentEntry();
    ASSERT_GE(current, 1);
    EXPECT_EQ(std::tie(entries[0].Name, entries[0].Level), std::tuple("/", 0));
    EXPECT_TRUE(entries[current].IsCurrent);
    EXPECT_EQ(std::vector<std::string>(names.begin() + current + 1, names.end()),
              (std::vector<std::string>{"alpha", "Beta", "linked", "Zeta"}));
    EXPECT_EQ(std::tie(entries.back().FullPath, entries.back().Level),
              std::tuple(temp / "cur/Zeta", current + 1));

    // Opening an ancestor by its entry goes back up.
    list.SetPath(entries[current - 1].FullPath);
    EXPECT_EQ(list.Path(), temp.Path());
}

// A progress value outside the range shows the nearest end; a form loads once, whatever its load
// handler did; a missing control array element raises 9.
TEST(FormsControls, ProgressRangeFormLoadAndMissingElements) {
    ProgressBar bar("tBar", 0, 0, 100, 17, 0, 0, 100);
    for (const auto& [set, shown] :
         {std::pair{100.f, 100.f}, {101.f, 100.f}, {-1.f, 0.f}, {NAN, 0.f}, {0.5f, 0.5f}}) {
        bar.SetValue(set);
        EXPECT_EQ(bar.Value(), shown) << set;
    }
    MessageRecorder recorder;
    Form form;
    int loads = 0;
    form.OnLoad = [&] {
        ++loads;
        throw std::bad_alloc();
    };
    form.Load();
    form.Load();
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(recorder.Messages.back().Prompt, "Out of memory");
    ControlArray<Label> height("height");
    height.Add(1, 128, 208, 18, 12, 9, "pix", true);
    EXPECT_EQ(ErrorOf([&] { height[0]; }), 9);
}

}  // namespace
}  // namespace quillane
