// The start button's two fields, typed as anything: the run always ends with exactly one of
// its four final messages, writes an output of the typed size only when it reports success,
// and never crashes on a strange number. Large sizes run on a folder without pictures so that
// only the checks are exercised and each input stays fast.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "app/FormMain.h"
#include "platform/base/Conversions.h"
#include "platform/base/RuntimeError.h"
#include "platform/picture/PictureFile.h"

using namespace quillane;

namespace {

constexpr long kMaxPixels = 1 << 18;  // a 512 x 512 canvas at most
const char* const kDone = "调整成功:1张图片！";

// The sizes the fields would convert to, when both convert.
bool Sizes(const std::string& width, const std::string& height, long& w, long& h) {
    try {
        w = CInt(Trim(width));
        h = CInt(Trim(height));
        return true;
    } catch (const RuntimeError&) {
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const std::string widthText = provider.ConsumeRandomLengthString(64);
    const std::string heightText = provider.ConsumeRandomLengthString(64);

    long w = 0, h = 0;
    const bool converts = Sizes(widthText, heightText, w, h);
    const bool withPicture = !converts || std::labs(w * h) <= kMaxPixels;
    const std::string folder = fuzz::FreshFolder();
    if (withPicture) {
        fuzz::WriteFile(folder + "/a.bmp", fuzz::TinyBmp(3, 2));
    } else {
        fuzz::WriteFile(folder + "/a.txt", {});
    }

    fuzz::MessageLog log;
    float barAfter = -1;
    {
        FormMain form;
        form.DirS.SetPath(folder);
        form.txtW.SetText(widthText);
        form.txtH.SetText(heightText);
        form.CMD_OK.Click();
        barAfter = form.tBar.Value();
    }

    if (log.Messages.empty()) fuzz::Violated("the run ended without a message");
    const MessageBoxRequest& last = log.Messages.back();
    const std::string final = last.Title + "|" + last.Prompt;
    const bool success = final == std::string("System|") + kDone;
    if (!success && final != "Warning|must Number" && final != "System|Error" &&
        final != "Warning|文件夹没有jpg和bmp图片") {
        fuzz::Violated("unknown final message: " + final);
    }
    if (log.Messages.size() > 2 || (log.Messages.size() == 2 && !success)) {
        fuzz::Violated("too many messages, the last: " + final);
    }
    if (success && barAfter != 0) fuzz::Violated("the bar did not return to 0");
    fuzz::ExpectNoTemporaryFile(folder);

    const std::string output = folder + "/处理后a.jpg";
    const bool written = access(output.c_str(), F_OK) == 0;
    if (written && !success) fuzz::Violated("an output was written by a run that failed");
    if (success && log.Messages.size() == 1) {
        if (!written) fuzz::Violated("success without output");
        try {
            const auto picture = PictureFile::Open(output);
            if (picture->Width() != w || picture->Height() != h) {
                fuzz::Violated("output of " + std::to_string(picture->Width()) + " x " +
                               std::to_string(picture->Height()) + " for fields '" + widthText +
                               "' x '" + heightText + "'");
            }
        } catch (const RuntimeError& error) {
            fuzz::Violated(std::string("the output does not decode: ") + error.Description());
        }
    }
    return 0;
}
