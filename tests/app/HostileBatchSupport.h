#pragma once
// Shared by the tests of hostile folders and failing disks: whole-file reads and writes, noise
// pictures, an independent decode by libjpeg-turbo's djpeg, and the audit of what a run must
// never do to a folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>

#include "support/FolderFixtures.h"

extern char** environ;

namespace quillane::testing {

using Bytes = std::string;

inline const std::string kPrefix = "处理后";

inline Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline bool Have(const char* tool) {
    return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

inline bool Shell(const std::string& command) {
    return std::system((command + " 2>/dev/null").c_str()) == 0;
}

// A picture of noise, so that every byte of its compressed form matters.
inline void WriteNoisePpm(const std::string& path, int width, int height) {
    Bytes bytes = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::uint32_t state = 2463534242u;
    for (int i = 0; i < width * height * 3; ++i) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        bytes.push_back(static_cast<char>(state & 0xFF));
    }
    WriteAll(path, bytes);
}

// Decodes a JPEG with djpeg, reading the file on standard input so that no name is ever
// quoted; gives the size, or 0 x 0 when djpeg fails or warns about the data.
inline std::pair<int, int> DjpegSize(const std::string& path, const std::string& scratch) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, path.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char program[] = "djpeg";
    char* argv[] = {program, nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "djpeg", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return {0, 0};
    }
    std::istringstream header(ReadAll(scratch));
    std::string magic;
    int width = 0, height = 0;
    header >> magic >> width >> height;
    return {width, height};
}

// What a run must never do, checked against the folder as it was before the run.
class FolderAudit {
  public:
    explicit FolderAudit(const std::string& folder) : m_folder(folder) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            std::error_code ignored;  // a link loop has no status; it is no file of ours
            if (entry.is_regular_file(ignored) && !entry.is_symlink(ignored)) {
                m_before[entry.path().filename().string()] = ReadAll(entry.path().string());
            }
        }
    }

    // Files that were there are unchanged (those the run may write over excepted), no
    // temporary file is left, and every output is a whole JPEG of the given size.
    void Check(int width, int height, const std::string& scratch) const {
        for (const auto& [name, bytes] : m_before) {
            if (name.rfind(kPrefix, 0) == 0) continue;
            EXPECT_TRUE(ReadAll(m_folder + "/" + name) == bytes) << "changed or lost: " << name;
        }
        for (const auto& entry : std::filesystem::directory_iterator(m_folder)) {
            const std::string name = entry.path().filename().string();
            EXPECT_NE(name.rfind(".quillane-", 0), 0u) << "temporary file left: " << name;
            if (name.rfind(kPrefix, 0) == 0 && !m_before.count(name)) {
                EXPECT_EQ(DjpegSize(entry.path().string(), scratch), std::make_pair(width, height))
                    << "not a whole JPEG of the typed size: " << name;
            }
        }
    }

  private:
    std::string m_folder;
    std::map<std::string, Bytes> m_before;
};

// Base of the batch-run fixtures that make pictures with ImageMagick and check outputs with
// libjpeg-turbo's tools; scratch is a temporary file for djpeg's output.
class BatchWithToolsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!Have("convert") || !Have("cjpeg") || !Have("djpeg")) {
            GTEST_SKIP() << "ImageMagick's convert and libjpeg-turbo's cjpeg/djpeg are needed";
        }
        scratch = std::filesystem::temp_directory_path().string() + "/quillane-djpeg-" +
                  std::to_string(getpid()) + ".ppm";
    }
    void TearDown() override { std::filesystem::remove(scratch); }

    std::string scratch;
};

}  // namespace quillane::testing
