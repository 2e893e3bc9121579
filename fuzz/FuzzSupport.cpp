#include "FuzzSupport.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace quillane::fuzz {

namespace {

void RemoveScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(ScratchFolder(), ignored);
}

void PutLe(std::vector<std::uint8_t>& bytes, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

const std::string& ScratchFolder() {
    static const std::string folder = [] {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : nullptr;
        std::string pattern =
            (base ? std::string(base) : std::filesystem::temp_directory_path().string()) +
            "/quillane-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) Violated("cannot make the scratch folder");
        return pattern;
    }();
    static const bool registered = (std::atexit(RemoveScratch), true);
    (void)registered;
    return folder;
}

std::string FreshFolder() {
    const std::string folder = ScratchFolder() + "/run";
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directory(folder);
    return folder;
}

void WriteFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) Violated("cannot write " + path);
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> TinyBmp(int width, int height) {
    const int stride = (width * 3 + 3) & ~3;
    const int pixels = stride * height;
    std::vector<std::uint8_t> bytes = {'B', 'M'};
    PutLe(bytes, static_cast<std::uint32_t>(54 + pixels), 4);
    PutLe(bytes, 0, 4);
    PutLe(bytes, 54, 4);
    PutLe(bytes, 40, 4);
    PutLe(bytes, static_cast<std::uint32_t>(width), 4);
    PutLe(bytes, static_cast<std::uint32_t>(height), 4);
    PutLe(bytes, 1, 2);
    PutLe(bytes, 24, 2);
    for (int i = 0; i < 6; ++i) PutLe(bytes, 0, 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < stride; ++x)
            bytes.push_back(static_cast<std::uint8_t>(x * 37 + y * 91));
    }
    return bytes;
}

MessageLog::MessageLog()
    : m_previous(SetMessageBoxPresenter(
          [this](const MessageBoxRequest& request) { Messages.push_back(request); })) {}

MessageLog::~MessageLog() {
    SetMessageBoxPresenter(m_previous);
}

std::optional<JpegFrame> FirstJpegFrame(std::span<const std::uint8_t> bytes) {
    JpegWindow window{JpegSource(bytes)};
    JpegMarkerWalk walk(window);
    if (!walk.StartOfImage()) return std::nullopt;
    JpegSegment segment;
    const auto any = [](std::uint8_t) { return true; };
    while (!walk.Next(segment, any)) {
        if (IsFrameMarker(segment.Marker)) {
            JpegFrame frame;
            if (ReadJpegFrame(segment.Marker, segment.Fields, frame)) return std::nullopt;
            return frame;
        }
        if (segment.Marker == kStartOfScan || segment.Marker == kEndOfImage) break;
    }
    return std::nullopt;
}

void Violated(const std::string& what) {
    std::fprintf(stderr, "\n*** broken promise: %s\n", what.c_str());
    std::abort();
}

void ExpectNoTemporaryFile(const std::string& folder) {
    for (const std::string& name : FolderEntries(folder)) {
        if (name.rfind(".quillane-", 0) == 0) Violated("temporary file left behind: " + name);
    }
}

}  // namespace quillane::fuzz
