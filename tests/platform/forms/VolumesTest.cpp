#include <gtest/gtest.h>

#include "platform/forms/Volumes.h"

namespace quillane {
namespace {

// A machine with the usual pseudo file systems, a container's bind mounts, a snap, a network
// share, a name with a blank and a mount that is hidden by a later one.
constexpr const char* kMountInfo =
    "21 1 0:20 / / rw,relatime - overlay overlay rw,lowerdir=/l\n"
    "22 21 0:21 / /proc rw,nosuid - proc proc rw\n"
    "23 21 0:22 / /sys rw,nosuid - sysfs sysfs rw\n"
    "26 21 0:25 / /tmp rw - tmpfs tmpfs rw\n"
    "27 21 8:1 / /home rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "28 21 8:1 /docker/hosts /etc/hosts rw - ext4 /dev/sda1 rw\n"
    "29 21 8:1 /srv/data /data rw - ext4 /dev/sda1 rw\n"
    "30 21 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
    "31 21 0:40 / /mnt/share rw - nfs4 server:/export rw\n"
    "32 21 8:18 / /media/My\\040Disk rw - vfat /dev/sdb2 rw\n"
    "33 21 8:33 / /mnt/usb rw - vfat /dev/sdc1 rw\n"
    "34 33 0:41 / /mnt/usb rw - tmpfs tmpfs rw\n"
    "35 21 8:1 / /home/ rw - ext4 /dev/sda1 rw\n"
    "broken line\n";

TEST(Volumes, RealFileSystemsAfterTheSystemVolume) {
    const auto volumes = ParseMountInfo(kMountInfo, [](const std::string& source) {
        return source == "/dev/sdb2" ? std::string("STICK") : std::string();
    });
    const std::vector<Volume> expected = {
        {"/", "System"}, {"/home", ""}, {"/media/My Disk", "STICK"}, {"/mnt/share", ""}};
    EXPECT_EQ(volumes, expected);
}

TEST(Volumes, DriveTextsFindTheirVolume) {
    const std::vector<Volume> volumes = {
        {"/", "System"}, {"/home", ""}, {"/media/My Disk", "STICK"}};
    const std::tuple<int, std::vector<std::string>> cases[] = {
        {0, {"C:", "c:\\", "c:/", "/ [System]", "/"}},
        {1, {"/home", "/home/"}},
        {2, {"/media/My Disk [STICK]", "/media/My Disk"}},
        {-1, {"d:", "c:\\x", "", "/home [System]", "System", "/nowhere"}},
    };
    for (const auto& [index, texts] : cases)
        for (const std::string& text : texts) EXPECT_EQ(FindVolume(text, volumes), index) << text;
    EXPECT_EQ(VolumeText(volumes[0]) + VolumeText(volumes[1]), "/ [System]/home");
}

TEST(Volumes, ThisMachineStartsWithTheSystemVolume) {
    EXPECT_EQ(MountedVolumes().at(0), (Volume{"/", "System"}));
}

}  // namespace
}  // namespace quillane
