// quillane-batch: the window's batch run without a window. It builds the same FormMain on the
// headless forms runtime, sets the folder, the two size fields and the run's settings from the
// options, and presses the start button; the messages the window would show are printed to
// standard error.

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/BatchOptions.h"
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
    "Usage: quillane-batch [OPTION]... FOLDER\n"
    "\n"
    "Resizes every .jpg and .bmp picture directly in FOLDER to exactly W x H pixels\n"
    "and writes each as a JPEG beside it, named \"处理后\" followed by the picture's\n"
    "own name (a .bmp name ending in .jpg). Without options, as the window does:\n"
    "stretched (proportions are not kept), quality 90, no density stated.\n"
    "\n"
    "  --width W       target width in pixels (default 176)\n"
    "  --height H      target height in pixels (default 220)\n"
    "  --fit MODE      stretch: all of the picture onto W x H (the default);\n"
    "                  cover: proportions kept, W x H filled, the overflow cropped\n"
    "                  evenly; contain: proportions kept, the whole picture centred\n"
    "                  inside W x H, the rest filled with the background\n"
    "  --background C  around a contained picture: white (the default), blue\n"
    "                  (#438edb), red (#ff0000) or #rrggbb\n"
    "  --quality Q     JPEG quality from 1 to 100 (default 90)\n"
    "  --kb MIN-MAX    each file's size in KB (1 KB = 1,024 bytes); also -MAX, MIN-.\n"
    "                  The highest quality up to Q whose file is at most MAX KB,\n"
    "                  down to 10 (a picture still larger fails; the run goes on);\n"
    "                  a file under MIN KB gets a higher quality, up to 100, and if\n"
    "                  still short, filler bytes in JPEG comments, which change no\n"
    "                  pixel. At most 8 encodes a picture; the file is written once.\n"
    "  --dpi N         state a density of N x N dots per inch in the file (1-65535)\n"
    "  --output DIR    write into DIR, made when missing, instead of beside them\n"
    "  --prefix TEXT   put TEXT before the names instead of \"处理后\"; '' keeps the\n"
    "                  names (only with --output, never over the pictures)\n"
    "  --recursive     also the pictures of every sub-folder (mirrored under\n"
    "                  --output); hidden folders and links to folders are skipped\n"
    "  --help          show this text\n"
    "\n"
    "Messages go to standard error, with a progress line when it is a terminal.\n"
    "Exit status: 0 every picture was written; 1 the run finished but some pictures\n"
    "failed; 2 the run was refused or cut short (a size that is not a number, no\n"
    "pictures, an error, bad arguments: nothing is written then).\n"
    "On SIGINT or SIGTERM it stops after the picture being written, says how many\n"
    "pictures were done and exits 130 or 143; no partial file is left.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace quillane;
    ReturnLargeBuffersToTheSystem();
    BatchArguments arguments;
    if (const std::optional<ArgumentError> error = ParseBatchArguments(argc, argv, arguments)) {
        std::fprintf(stderr, "%s\n", error->Line.c_str());
        if (error->ShowUsage) std::fputs(kUsage, stderr);
        return kExitRefused;
    }
    if (arguments.Help) {
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
    form.Settings = arguments.Settings;

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
