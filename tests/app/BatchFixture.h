#pragma once
// Shared by the batch tests: presses the start button on a real folder, records the messages,
// the progress bar and the pictures done, and audits what a run must never do to the folder,
// with outputs decoded again by libjpeg-turbo's djpeg, a decoder independent of ours.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/FormMain.h"
#include "support/FolderFixtures.h"
#include "support/PictureFiles.h"

namespace quillane::testing {

using Bytes = std::string;
using test::Quote;
using test::Shell;

inline const std::string kPrefix = "处理后";

// Decodes a copy under a plain name in work, so that no odd name is ever quoted; 0 x 0 when
// djpeg fails or warns about the data, or the file is missing.
inline std::pair<int, int> DjpegSize(const std::filesystem::path& jpeg, const TempFolder& work) {
    std::error_code missing;
    std::filesystem::copy_file(jpeg, work / "in.jpg",
                               std::filesystem::copy_options::overwrite_existing, missing);
    if (missing ||
        !Shell("djpeg -outfile " + Quote(work / "out.ppm") + " " + Quote(work / "in.jpg")))
        return {0, 0};
    const test::RgbPicture decoded = test::ReadPpm(work / "out.ppm");
    return {decoded.Width, decoded.Height};
}

class BatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"convert", "djpeg"}) REQUIRE_TOOL(tool);
    }

    // A picture drawn by ImageMagick from its arguments ("-size 40x30 xc:red", then "bmp3:" or
    // the like for a format other than the name's).
    static void Picture(const std::string& path, const std::string& arguments) {
        const char* gap = arguments.ends_with(":") ? "" : " ";
        ASSERT_TRUE(Shell("convert " + arguments + gap + Quote(path))) << path;
    }

    // Presses the start button on the folder.
    void Click(const std::string& where, const std::string& width, const std::string& height) {
        recorder.Messages.clear(), Progress.clear(), Done.clear();
        form.OnPictureDone = [this](std::int32_t done, std::int32_t total) {
            Done.emplace_back(done, total);
        };
        form.DirS.SetPath(where);
        form.txtW.SetText(width);
        form.txtH.SetText(height);
        const int token = form.tBar.Subscribe([this] { Progress.push_back(form.tBar.Value()); });
        form.CMD_OK.Click();
        form.tBar.Unsubscribe(token);
    }

    // Clicks, then checks that the files that were there are unchanged (those the run may
    // write over excepted), no temporary file is left and every new output is a whole JPEG of
    // the typed size.
    void Run(const std::string& where, const std::string& width, const std::string& height) {
        std::map<std::string, test::Bytes> before;
        for (const auto& entry : std::filesystem::directory_iterator(where)) {
            std::error_code ignored;  // a link loop has no status; it is no file of ours
            if (entry.is_regular_file(ignored) && !entry.is_symlink(ignored))
                before[entry.path().filename().string()] = test::ReadBytes(entry.path());
        }
        Click(where, width, height);
        const auto output = [](const std::string& name) { return name.rfind(kPrefix, 0) == 0; };
        for (const auto& [name, bytes] : before) {
            EXPECT_TRUE(output(name) || test::ReadBytes(where + "/" + name) == bytes)
                << "changed or lost: " << name;
        }
        const auto size = std::make_pair(std::atoi(width.c_str()), std::atoi(height.c_str()));
        for (const auto& entry : std::filesystem::directory_iterator(where)) {
            const std::string name = entry.path().filename().string();
            EXPECT_NE(name.rfind(".quillane-", 0), 0u) << "temporary file left: " << name;
            EXPECT_TRUE(!output(name) || before.count(name) || entry.is_directory() ||
                        DjpegSize(entry.path(), work) == size)
                << "not a whole JPEG: " << name;
        }
    }

    // Runs quillane-batch as a script runs it, with no display nor Qt platform in its
    // environment, under wrapper when one is given; its exit status, with what it said (standard
    // output and error) in Said.
    int Command(const std::string& arguments, const std::string& wrapper = "") {
        const int status = std::system(("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                        wrapper + " " + Quote(QUILLANE_BATCH_PROGRAM) + " " +
                                        arguments + " >" + Quote(work / "said") + " 2>&1")
                                           .c_str());
        Said = work.Read("said");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The messages, each as title|prompt|style.
    std::vector<std::string> Prompts() const {
        std::vector<std::string> prompts;
        for (const auto& m : recorder.Messages)
            prompts.push_back(m.Title + "|" + m.Prompt + "|" + std::to_string(m.Style));
        return prompts;
    }

    TempFolder folder;
    TempFolder work;  // for the tools' own files, out of the audit's sight
    MessageRecorder recorder;
    FormMain form;
    std::vector<float> Progress;            // the bar's values, as they change
    std::vector<std::pair<int, int>> Done;  // pictures done, of how many
    std::string Said;                       // by the last Command
};

}  // namespace quillane::testing
