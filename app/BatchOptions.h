#pragma once
// The batch command's arguments: the folder, the two sizes, and the options that fill in the
// run's settings. Every value is checked before anything on disk is touched, and a refusal is
// one line naming the option.

#include <optional>
#include <string>

#include "app/BatchSettings.h"

namespace quillane {

struct BatchArguments {
    std::string Width = "176";  // as typed into the window's fields, checked by the run
    std::string Height = "220";
    std::string Folder;
    BatchSettings Settings;  // OutputFolder is made absolute
    bool Help = false;
};

// Why the arguments were refused: the line to print, and whether the usage text should follow
// (for arguments that are not understood at all, rather than a value out of place).
struct ArgumentError {
    std::string Line;
    bool ShowUsage = false;
};

// Reads the command line into arguments; with --help, stops there. Also refuses an output
// folder that is a file, and an empty prefix that would write the outputs over the pictures.
std::optional<ArgumentError> ParseBatchArguments(int argc, char** argv, BatchArguments& arguments);

}  // namespace quillane
