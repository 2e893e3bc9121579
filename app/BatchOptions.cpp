#include "app/BatchOptions.h"

#include <charconv>
#include <filesystem>
#include <functional>
#include <map>

#include "platform/forms/FileSystem.h"

namespace quillane {

namespace {

constexpr std::int64_t kLargestKb = std::int64_t{1} << 20;  // a GiB: far beyond any upload

// The whole text as a number from low to high; empty otherwise.
std::optional<std::int64_t> WholeNumber(std::string_view text, std::int64_t low,
                                        std::int64_t high) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text[0] == '+' || text[0] == '-' || error != std::errc() ||
        end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// "MIN-MAX", "-MAX" or "MIN-", in KB.
std::optional<SizeWindow> KbWindow(std::string_view text) {
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos || text.size() == 1) return std::nullopt;
    const std::string_view low = text.substr(0, dash), high = text.substr(dash + 1);
    const auto min = low.empty() ? std::optional<std::int64_t>(0) : WholeNumber(low, 0, kLargestKb);
    const auto max =
        high.empty() ? std::optional<std::int64_t>(0) : WholeNumber(high, 1, kLargestKb);
    if (!min || !max || (*max != 0 && *min > *max)) return std::nullopt;
    return SizeWindow{*min * kBytesPerKb, *max * kBytesPerKb};
}

// A colour by name or as #rrggbb, as 0xBBGGRR. Blue and red are the backgrounds ID photos use.
std::optional<std::int32_t> Colour(std::string_view text) {
    const std::map<std::string_view, std::string_view> named{
        {"white", "#ffffff"}, {"blue", "#438edb"}, {"red", "#ff0000"}};
    if (const auto found = named.find(text); found != named.end()) text = found->second;
    if (text.size() != 7 || text[0] != '#') return std::nullopt;
    std::uint32_t rgb = 0;
    const auto [end, error] = std::from_chars(text.data() + 1, text.data() + text.size(), rgb, 16);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return static_cast<std::int32_t>((rgb >> 16) | (rgb & 0xFF00) | (rgb & 0xFF) << 16);
}

std::optional<FitMode> Fit(std::string_view text) {
    if (text == "stretch") return FitMode::Stretch;
    if (text == "cover") return FitMode::Cover;
    if (text == "contain") return FitMode::Contain;
    return std::nullopt;
}

// Keeps a value that was understood; false for one that was not.
template <class T, class U>
bool Store(T& into, const std::optional<U>& value) {
    if (value) into = static_cast<T>(*value);
    return value.has_value();
}

ArgumentError Refused(const std::string& option, const std::string& why) {
    return {"quillane-batch: " + option + ": " + why, false};
}

// The output folder may not be there yet; when it is, it must be a folder, and without a prefix
// it may not be the picture folder itself.
std::optional<ArgumentError> CheckOutputFolder(BatchArguments& a) {
    BatchSettings& s = a.Settings;
    if (s.OutputFolder.empty()) return std::nullopt;
    std::error_code ignored;
    s.OutputFolder = std::filesystem::absolute(s.OutputFolder, ignored).string();
    const auto status = std::filesystem::status(s.OutputFolder, ignored);
    if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
        return Refused("--output", "'" + s.OutputFolder + "' is there and is not a folder");
    }
    const std::optional<FileId> output = FileIdOf(s.OutputFolder);
    if (s.Prefix.empty() && output && output == FileIdOf(a.Folder)) {
        return Refused("--prefix",
                       "an empty prefix with the picture folder as --output would "
                       "replace the pictures");
    }
    return std::nullopt;
}

}  // namespace

std::optional<ArgumentError> ParseBatchArguments(int argc, char** argv, BatchArguments& a) {
    BatchSettings& s = a.Settings;
    struct Valued {
        const char* Expected;  // what the value should have been, for the refusal
        std::function<bool(const std::string&)> Take;
    };
    const std::map<std::string, Valued> valued{
        {"--width", {"", [&](const std::string& v) { return a.Width = v, true; }}},
        {"--height", {"", [&](const std::string& v) { return a.Height = v, true; }}},
        {"--quality",
         {"a whole number from 1 to 100",
          [&](const std::string& v) { return Store(s.Jpeg.Quality, WholeNumber(v, 1, 100)); }}},
        {"--dpi",
         {"a whole number from 1 to 65535",
          [&](const std::string& v) {
              return Store(s.Jpeg.DotsPerInch, WholeNumber(v, 1, 65535));
          }}},
        {"--kb",
         {"a window in KB such as 20-50, -50 or 20-",
          [&](const std::string& v) { return Store(s.Jpeg.Window, KbWindow(v)); }}},
        {"--fit",
         {"stretch, cover or contain", [&](const std::string& v) { return Store(s.Fit, Fit(v)); }}},
        {"--background",
         {"white, blue, red or #rrggbb",
          [&](const std::string& v) { return Store(s.Background, Colour(v)); }}},
        {"--output",
         {"a folder", [&](const std::string& v) { return s.OutputFolder = v, !v.empty(); }}},
        {"--prefix",
         {"a prefix without '/'",
          [&](const std::string& v) { return s.Prefix = v, v.find('/') == std::string::npos; }}},
    };
    std::map<std::string, bool> given;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const std::size_t equals = argument.find('=');
        const std::string option = argument.substr(0, equals);
        if (argument == "--help" || argument == "-h") {
            a.Help = true;
            return std::nullopt;
        }
        if (const auto found = valued.find(option); found != valued.end()) {
            if (equals == std::string::npos && i + 1 >= argc) return Refused(option, "no value");
            const std::string value =
                equals == std::string::npos ? argv[++i] : argument.substr(equals + 1);
            if (!found->second.Take(value)) {
                return Refused(option, "'" + value + "' is not " + found->second.Expected);
            }
            given[option] = true;
        } else if (argument == "--recursive") {
            s.Recursive = true;
        } else if (!argument.empty() && argument[0] == '-' && argument != "-") {
            return ArgumentError{"quillane-batch: unknown option '" + argument + "'", true};
        } else if (a.Folder.empty()) {
            a.Folder = argument;
        } else {
            return ArgumentError{"quillane-batch: only one folder may be given", true};
        }
    }
    if (a.Folder.empty()) return ArgumentError{"quillane-batch: no folder given", true};
    if (given["--background"] && s.Fit != FitMode::Contain) {
        return Refused("--background", "only --fit contain leaves room for a background");
    }
    if (given["--prefix"] && s.Prefix.empty() && s.OutputFolder.empty()) {
        return Refused("--prefix",
                       "an empty prefix needs --output, or the outputs would replace "
                       "the pictures");
    }
    return CheckOutputFolder(a);
}

}  // namespace quillane
