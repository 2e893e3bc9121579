// quillane-batch: the window's batch run without a window. It builds the same FormMain on the
// headless forms runtime, sets the folder and the two size fields, and presses the start
// button; the messages the window would show are printed to standard error.

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/FormMain.h"
#include "platform/base/MemoryTuning.h"
#include "platform/base/MessageBox.h"
#include "platform/base/RuntimeError.h"
#include "platform/base/StopRequest.h"

namespace {

constexpr int kExitAllWritten = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitRefused = 2;
constexpr int kExitBySignal = 128;  // plus the signal's number, as a shell reports it

const char* const kUsage =
    "Usage: quillane-batch [--width W] [--height H] FOLDER\n"
    "\n"
    "Resizes every .jpg and .bmp picture directly in FOLDER to exactly W x H pixels\n"
    "(proportions are not kept) and writes each as a JPEG of quality 90 beside it, named\n"
    "\"处理后\" followed by the picture's own name (a .bmp name ending in .jpg).\n"
    "\n"
    "  --width W    target width in pixels (default 176)\n"
    "  --height H   target height in pixels (default 220)\n"
    "  --help       show this text\n"
    "\n"
    "Messages go to standard error, with a progress line when it is a terminal.\n"
    "Exit status: 0 every picture was written; 1 the run finished but some pictures\n"
    "failed; 2 the run was refused or cut short (a size that is not a number, no\n"
    "pictures, an error, bad arguments).\n"
    "On SIGINT or SIGTERM it stops after the picture being written, says how many\n"
    "pictures were done and exits 130 or 143; no partial file is left.\n";

struct Arguments {
    std::string Width = "176";
    std::string Height = "220";
    std::string Folder;
};

bool Parse(int argc, char** argv, Arguments& arguments, bool& help) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            help = true;
            return true;
        }
        if ((argument == "--width" || argument == "--height") && i + 1 < argc) {
            (argument == "--width" ? arguments.Width : arguments.Height) = argv[++i];
        } else if (argument.rfind("--width=", 0) == 0) {
            arguments.Width = argument.substr(8);
        } else if (argument.rfind("--height=", 0) == 0) {
            arguments.Height = argument.substr(9);
        } else if (!argument.empty() && argument[0] == '-' && argument != "-") {
            std::fprintf(stderr, "quillane-batch: unknown option '%s'\n", argument.c_str());
            return false;
        } else if (arguments.Folder.empty()) {
            arguments.Folder = argument;
        } else {
            std::fprintf(stderr, "quillane-batch: only one folder may be given\n");
            return false;
        }
    }
    if (arguments.Folder.empty()) {
        std::fprintf(stderr, "quillane-batch: no folder given\n");
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quillane;
    ReturnLargeBuffersToTheSystem();
    Arguments arguments;
    bool help = false;
    if (!Parse(argc, argv, arguments, help)) {
        std::fputs(kUsage, stderr);
        return kExitRefused;
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return kExitAllWritten;
    }

    // Asked before anything is written, so a stop at any moment leaves only whole pictures.
    StopOnInterruptAndTerminate();
    const bool terminal = isatty(STDERR_FILENO) != 0;
    bool progressShown = false;
    bool finished = false;
    int fileMessages = 0;
    SetMessageBoxPresenter([&](const MessageBoxRequest& request) {
        if (progressShown) std::fputs("\n", stderr);
        progressShown = false;
        std::fprintf(stderr, "%s\n", FormatMessageLine(request).c_str());
        if (request.Title == "System" && request.Style == vbOKOnly) {
            finished = true;  // the count at the end of a run
        } else if (request.Title == "Quillane") {
            ++fileMessages;  // a picture that could not be converted or written
        }
    });

    FormMain form;
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::absolute(arguments.Folder, ignored);
    try {
        form.DirS.SetPath(folder.string());
    } catch (const RuntimeError& error) {
        std::fprintf(stderr, "quillane-batch: %s: %s\n", arguments.Folder.c_str(),
                     error.Description());
        return kExitRefused;
    }
    form.txtW.SetText(arguments.Width);
    form.txtH.SetText(arguments.Height);

    std::int32_t done = 0;
    form.OnPictureDone = [&](std::int32_t doneNow, std::int32_t total) {
        done = doneNow;
        if (!terminal) return;
        std::fprintf(stderr, "\r%d / %d", static_cast<int>(doneNow), static_cast<int>(total));
        std::fflush(stderr);
        progressShown = true;
    };
    form.CMD_OK.Click();
    if (progressShown) std::fputs("\n", stderr);

    if (const int signal = StopSignal()) {
        std::fprintf(stderr, "quillane-batch: stopped by %s: %d of %zu pictures done\n",
                     StopSignalName(), static_cast<int>(done), form.FileList().size());
        return kExitBySignal + signal;
    }

    if (!finished) return kExitRefused;
    return fileMessages == 0 ? kExitAllWritten : kExitSomeFailed;
}
