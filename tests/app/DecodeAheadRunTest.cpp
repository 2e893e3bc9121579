// A run that decodes ahead on a helper thread must be indistinguishable from one that reads
// every picture at its turn: same messages, same progress values, same files, byte for byte.

#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <map>

#include "app/FormMain.h"
#include "support/PictureFiles.h"

namespace quillane {
namespace {

using testing::MessageRecorder;
using testing::TempFolder;

bool Convert(const std::string& arguments, const std::string& path) {
    return test::Shell("convert " + arguments + " " + test::Quote(path));
}

struct RunRecord {
    std::vector<std::string> Messages;
    std::vector<float> Progress;
    std::map<std::string, std::string> Files;
};

RunRecord RunOn(const TempFolder& folder, bool decodeAhead) {
    MessageRecorder recorder;
    FormMain form;
    form.DecodeAheadEnabled = decodeAhead;
    form.DirS.SetPath(folder.Path());
    RunRecord record;
    const int token = form.tBar.Subscribe([&] { record.Progress.push_back(form.tBar.Value()); });
    form.CMD_OK.Click();
    form.tBar.Unsubscribe(token);
    for (const auto& message : recorder.Messages) {
        record.Messages.push_back(message.Title + "|" + message.Prompt);
    }
    for (const std::string& name : folder.Entries()) record.Files[name] = folder.Read(name);
    return record;
}

// In both folders a red picture stands where the first picture's output goes, and is replaced
// by it before its own turn comes. Entries are ImageMagick pictures, or files of the text given.
const struct {
    const char* Title;
    std::vector<std::pair<std::string, std::string>> Entries;
    const char* Twice;  // what the replaced entry becomes
} kFolders[] = {
    {"replaced entry listed last, among bitmaps, a damaged and a large picture",
     {{"a.jpg", "-size 300x200 gradient:white-black"},
      {"处理后a.jpg", "-size 50x50 xc:red"},
      {"b.bmp", "-size 120x80 gradient:blue-yellow"},
      {"c.jpg", "damaged"},
      {"d.jpg", "-size 640x480 plasma:fractal"},
      {"e.BMP", "-size 33x77 xc:green"},
      {"f.jpg", "-size 64x64 gradient:red-blue"}},
     "处理后处理后a.jpg"},
    {"replaced entry is the helper's first picture",
     {{"x.jpg", "-size 300x200 xc:blue"}, {"处理后x.jpg", "-size 300x200 xc:red"}},
     "处理后处理后x.jpg"},
};

TEST(DecodeAheadRun, IsIndistinguishableFromReadingEachPictureAtItsTurn) {
    REQUIRE_TOOL("convert");
    for (const auto& layout : kFolders) {
        SCOPED_TRACE(layout.Title);
        TempFolder original;
        for (const auto& [name, what] : layout.Entries) {
            if (what.starts_with("-")) {
                ASSERT_TRUE(Convert(what, original / name)) << name;
            } else {
                original.File(name, what);
            }
        }
        // Timing differs from run to run; the outcome must not.
        for (int round = 0; round < 5; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            TempFolder oneByOne;
            TempFolder ahead;
            for (const TempFolder* copy : {&oneByOne, &ahead}) {
                std::filesystem::copy(original.Path(), copy->Path(),
                                      std::filesystem::copy_options::recursive);
            }
            const RunRecord expected = RunOn(oneByOne, false);
            const RunRecord actual = RunOn(ahead, true);

            EXPECT_EQ(actual.Messages, expected.Messages);
            EXPECT_EQ(actual.Progress, expected.Progress);
            ASSERT_EQ(actual.Files.size(), expected.Files.size());
            for (const auto& [name, bytes] : expected.Files) {
                ASSERT_TRUE(actual.Files.count(name)) << name;
                EXPECT_TRUE(actual.Files.at(name) == bytes) << name << " differs";
            }
            // The replaced entry was read after the first output took its place: what it
            // became is the first picture (gray or blue), not the red one that stood there.
            QImage twice;
            const std::string& bytes = actual.Files.at(layout.Twice);
            ASSERT_TRUE(twice.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                                           static_cast<int>(bytes.size())));
            const QRgb middle = twice.pixel(twice.width() / 2, twice.height() / 2);
            EXPECT_LT(qRed(middle), qBlue(middle) + 20);
        }
    }
}

}  // namespace
}  // namespace quillane
