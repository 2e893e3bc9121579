#include "platform/forms/Volumes.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <utility>

#include "platform/forms/FileSystem.h"

namespace quillane {

namespace {

constexpr const char* kSystemLabel = "System";  // what the system volume is called, as "c:"

// Network file systems a person browses like a local disk.
constexpr std::array<std::string_view, 11> kNetworkTypes = {
    "nfs",       "nfs4",           "cifs",       "smb3", "smbfs", "ceph",
    "glusterfs", "fuse.glusterfs", "fuse.sshfs", "afs",  "davfs"};

// Block-device file systems that are not volumes a person browses (snap packages).
constexpr std::array<std::string_view, 1> kHiddenBlockTypes = {"squashfs"};

bool Contains(const auto& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// mountinfo writes space, tab, newline and backslash as "\ooo" octal escapes.
std::string UnescapeOctal(std::string_view text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && text.size() - i >= 4) {
            const char a = text[i + 1], b = text[i + 2], c = text[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                result += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        result += text[i];
    }
    return result;
}

// udev names the links in /dev/disk/by-label with "\xHH" escapes for blanks and slashes.
std::string UnescapeHex(std::string_view text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && text.size() - i >= 4 && text[i + 1] == 'x' &&
            HexValue(text[i + 2]) >= 0 && HexValue(text[i + 3]) >= 0) {
            result += static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3]));
            i += 3;
            continue;
        }
        result += text[i];
    }
    return result;
}

std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
    return resolved ? std::string(resolved.get()) : path;
}

// Device path (resolved) -> label, from the links udev keeps in /dev/disk/by-label.
std::map<std::string, std::string> ReadLabels() {
    std::map<std::string, std::string> labels;
    const std::string folder = "/dev/disk/by-label";
    for (const FolderEntry& entry : ReadFolder(folder).Entries) {
        labels[RealPath(folder + "/" + entry.Name)] = UnescapeHex(entry.Name);
    }
    return labels;
}

VolumeProvider& Provider() {
    static VolumeProvider provider;
    return provider;
}

}  // namespace

std::string VolumeText(const Volume& volume) {
    return volume.Label.empty() ? volume.MountPoint : volume.MountPoint + " [" + volume.Label + "]";
}

std::vector<Volume> ParseMountInfo(std::string_view mountinfo,
                                   const std::function<std::string(const std::string&)>& labelOf) {
    std::vector<Volume> others;
    std::istringstream lines{std::string(mountinfo)};
    std::string line;
    while (std::getline(lines, line)) {
        // id parent major:minor root mount-point options [optional...] - type source super
        std::istringstream fields(line);
        std::vector<std::string> before;
        std::string field;
        while (fields >> field && field != "-") before.push_back(field);
        std::string type, source;
        if (!(fields >> type >> source) || before.size() < 6) continue;
        const std::string root = UnescapeOctal(before[3]);
        const std::string mountPoint = UnescapeOctal(before[4]);
        if (mountPoint.empty() || mountPoint[0] != '/') continue;
        const std::string normal = NormalizePath(mountPoint, "/");

        // A later mount on the same point hides the earlier one, whatever it is.
        std::erase_if(others, [&](const Volume& v) { return v.MountPoint == normal; });
        if (normal == "/") continue;  // always listed first, as the system volume

        // A bind mount of a sub-folder (or of a single file) repeats part of another volume.
        if (root != "/") continue;
        const bool network = Contains(kNetworkTypes, type);
        const bool block = source.rfind("/dev/", 0) == 0 && !Contains(kHiddenBlockTypes, type);
        if (!network && !block) continue;
        others.push_back({normal, block ? labelOf(UnescapeOctal(source)) : std::string()});
    }
    std::sort(others.begin(), others.end(), [](const Volume& a, const Volume& b) {
        return NameOrderLess(a.MountPoint, b.MountPoint);
    });
    std::vector<Volume> volumes{{"/", kSystemLabel}};
    volumes.insert(volumes.end(), others.begin(), others.end());
    return volumes;
}

int FindVolume(std::string_view driveText, const std::vector<Volume>& volumes) {
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        if (VolumeText(volumes[i]) == driveText) return static_cast<int>(i);
    }
    std::string wanted;
    if (driveText.size() >= 2 && (driveText[0] == 'c' || driveText[0] == 'C') &&
        driveText[1] == ':' &&
        (driveText.size() == 2 ||
         (driveText.size() == 3 && (driveText[2] == '\\' || driveText[2] == '/')))) {
        wanted = "/";
    } else if (!driveText.empty() && driveText[0] == '/') {
        wanted = NormalizePath(driveText, "/");
    } else {
        return -1;
    }
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        if (volumes[i].MountPoint == wanted) return static_cast<int>(i);
    }
    return -1;
}

std::vector<Volume> MountedVolumes() {
    if (Provider()) {
        std::vector<Volume> volumes = Provider()();
        if (volumes.empty()) volumes.push_back({"/", kSystemLabel});
        return volumes;
    }
    std::ifstream file("/proc/self/mountinfo");
    std::stringstream text;
    text << file.rdbuf();
    const std::map<std::string, std::string> labels = ReadLabels();
    return ParseMountInfo(text.str(), [&labels](const std::string& source) {
        auto found = labels.find(RealPath(source));
        return found == labels.end() ? std::string() : found->second;
    });
}

VolumeProvider SetVolumeProvider(VolumeProvider provider) {
    return std::exchange(Provider(), std::move(provider));
}

}  // namespace quillane
