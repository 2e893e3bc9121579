#pragma once
// The mounted volumes a person browses: the system volume "/" first, then the mount points of
// real file systems (block devices and network shares), each with its label where one is known.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillane {

struct Volume {
    std::string MountPoint;  // absolute, no trailing "/" except the root
    std::string Label;       // empty when the volume has none

    bool operator==(const Volume&) const = default;
};

// The text a drive list shows for a volume: "/ [System]", "/media/usb [STICK]", "/home".
std::string VolumeText(const Volume& volume);

// The volume a drive text names among volumes: its listed text (VolumeText), its mount point
// (a trailing "/" allowed), or "c:" ("C:", "c:\", "c:/") for the system volume "/".
// Returns its position, -1 when the text names none of them.
int FindVolume(std::string_view driveText, const std::vector<Volume>& volumes);

// Reads the volumes of this machine (from /proc/self/mountinfo, labels from
// /dev/disk/by-label). Never empty: "/" with the label "System" is always the first entry.
std::vector<Volume> MountedVolumes();

// Chooses the volumes out of mountinfo text (the format of /proc/self/mountinfo). labelOf maps
// a mount source (such as "/dev/sdb1") to its label, "" when it has none. Kept separate from
// MountedVolumes so the filtering can be checked on fixed text.
std::vector<Volume> ParseMountInfo(std::string_view mountinfo,
                                   const std::function<std::string(const std::string&)>& labelOf);

// Replaces where MountedVolumes reads from (tests give a fixed list); an empty provider
// restores the machine's. Returns the previous provider.
using VolumeProvider = std::function<std::vector<Volume>()>;
VolumeProvider SetVolumeProvider(VolumeProvider provider);

}  // namespace quillane
