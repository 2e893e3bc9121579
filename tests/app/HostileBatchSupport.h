#pragma once
// Shared by the tests of hostile folders and failing disks: a fixture that presses the start
// button on a real folder and then audits what a run must never do to it, with outputs decoded
// again by libjpeg-turbo's djpeg, a decoder independent of ours.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/FormMain.h"
#include "platform/ijl/IjlTesting.h"
#include "support/FolderFixtures.h"
#include "support/PictureFiles.h"

namespace quillane::testing {

using Bytes = std::string;
using test::Quote;
using test::ReadBytes;
using test::Shell;

inline const std::string kPrefix = "处理后";

// A PPM picture of noise, so that every byte of its compressed form matters.
inline void WriteNoisePpm(const std::string& path, int width, int height) {
    Bytes bytes = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::uint32_t state = 2463534242u;
    for (int i = 0; i < width * height * 3; ++i) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        bytes.push_back(static_cast<char>(state & 0xFF));
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

class HostileBatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"convert", "cjpeg", "djpeg"}) REQUIRE_TOOL(tool);
    }
    void TearDown() override { IjlSetFaultsForTesting({}); }

    // Presses the start button on the folder; onFirstDone runs after the first picture.
    void Click(const std::string& where, const std::string& width, const std::string& height,
               std::function<void()> onFirstDone = {}) {
        if (onFirstDone) {
            form.OnPictureDone = [onFirstDone](std::int32_t done, std::int32_t) {
                if (done == 1) onFirstDone();
            };
        }
        form.DirS.SetPath(where);
        form.txtW.SetText(width);
        form.txtH.SetText(height);
        form.CMD_OK.Click();
    }

    // Clicks, then checks that the files that were there are unchanged (those the run may
    // write over excepted), no temporary file is left and every new output is a whole JPEG of
    // the typed size.
    void Run(const std::string& where, const std::string& width, const std::string& height,
             std::function<void()> onFirstDone = {}) {
        std::map<std::string, test::Bytes> before;
        for (const auto& entry : std::filesystem::directory_iterator(where)) {
            std::error_code ignored;  // a link loop has no status; it is no file of ours
            if (entry.is_regular_file(ignored) && !entry.is_symlink(ignored))
                before[entry.path().filename().string()] = ReadBytes(entry.path());
        }
        Click(where, width, height, onFirstDone);
        const auto output = [](const std::string& name) { return name.rfind(kPrefix, 0) == 0; };
        for (const auto& [name, bytes] : before) {
            EXPECT_TRUE(output(name) || ReadBytes(where + "/" + name) == bytes)
                << "changed or lost: " << name;
        }
        const auto size = std::make_pair(std::atoi(width.c_str()), std::atoi(height.c_str()));
        for (const auto& entry : std::filesystem::directory_iterator(where)) {
            const std::string name = entry.path().filename().string();
            EXPECT_NE(name.rfind(".quillane-", 0), 0u) << "temporary file left: " << name;
            if (output(name) && !before.count(name)) {
                EXPECT_EQ(DjpegSize(entry.path()), size) << "not a whole JPEG: " << name;
            }
        }
    }

    // Decodes a copy under a plain name, so that no odd name is ever quoted; 0 x 0 when djpeg
    // fails or warns about the data.
    std::pair<int, int> DjpegSize(const std::filesystem::path& jpeg) const {
        std::filesystem::copy_file(jpeg, work / "in.jpg",
                                   std::filesystem::copy_options::overwrite_existing);
        if (!Shell("djpeg -outfile " + Quote(work / "out.ppm") + " " + Quote(work / "in.jpg")))
            return {0, 0};
        std::istringstream header(work.Read("out.ppm"));
        std::string magic;
        int width = 0, height = 0;
        header >> magic >> width >> height;
        return {width, height};
    }

    std::vector<std::string> Prompts() const {
        std::vector<std::string> prompts;
        for (const auto& message : recorder.Messages) prompts.push_back(message.Prompt);
        return prompts;
    }
    std::string Final() const {
        return recorder.Messages.empty() ? "" : recorder.Messages.back().Prompt;
    }

    TempFolder folder;
    TempFolder work;  // for the tools' own files, out of the audit's sight
    MessageRecorder recorder;
    FormMain form;
};

}  // namespace quillane::testing
