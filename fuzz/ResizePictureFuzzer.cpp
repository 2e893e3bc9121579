// One picture's whole conversion, through the start button on a folder that holds one file:
// the first two bytes of the input choose the typed width and height, the rest is the file.
// Whatever the file holds, the run ends with its count, reports at most one failure for the
// file, and leaves either a complete JPEG of the typed size or no output at all, and never a
// temporary file.

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "app/FormMain.h"
#include "platform/base/RuntimeError.h"
#include "platform/picture/PictureFile.h"

using namespace quillane;

namespace {

constexpr int kMaxSide = 48;  // keeps each run fast
const char* const kInput = "in.jpg";
const char* const kOutput = "处理后in.jpg";
const char* const kDone = "调整成功:1张图片！";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const int width = 1 + data[0] % kMaxSide;
    const int height = 1 + data[1] % kMaxSide;  // the start button refuses 0
    const std::string folder = fuzz::FreshFolder();
    fuzz::WriteFile(folder + "/" + kInput, {data + 2, size - 2});

    fuzz::MessageLog log;
    {
        FormMain form;
        form.DirS.SetPath(folder);
        form.txtW.SetText(std::to_string(width));
        form.txtH.SetText(std::to_string(height));
        form.CMD_OK.Click();
    }

    const auto& messages = log.Messages;
    if (messages.empty() || messages.back().Title != "System" || messages.back().Prompt != kDone) {
        fuzz::Violated("the run did not end with its count: " +
                       (messages.empty() ? std::string("no message") : messages.back().Prompt));
    }
    if (messages.size() > 2) fuzz::Violated("more than one message for one file");
    fuzz::ExpectNoTemporaryFile(folder);

    const std::vector<std::string> entries = fuzz::FolderEntries(folder);
    const bool written = entries.size() == 2;
    if (messages.size() == 2 && written) {
        fuzz::Violated("a failure was reported but an output was written: " +
                       messages.front().Prompt);
    }
    if (messages.size() == 1 && !written) fuzz::Violated("no failure reported, but no output");
    if (written) {
        // The output must be a whole JPEG of the typed size.
        try {
            const auto output = PictureFile::Open(folder + "/" + kOutput);
            if (output->Width() != width || output->Height() != height) {
                fuzz::Violated("output of " + std::to_string(output->Width()) + " x " +
                               std::to_string(output->Height()) + " for a typed " +
                               std::to_string(width) + " x " + std::to_string(height));
            }
            (void)output->Decode(0, 0);
        } catch (const RuntimeError& error) {
            fuzz::Violated(std::string("the output does not decode: ") + error.Description());
        }
    }
    return 0;
}
