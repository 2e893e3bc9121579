#pragma once
// What the fuzz targets share: a scratch folder in memory, a recorder for message boxes, the
// checks that every run must pass whatever the input, and a way to stop loudly when one fails.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/base/MessageBox.h"
#include "platform/picture/jpeg/JpegMarkers.h"

namespace quillane::fuzz {

// A folder of our own under /dev/shm (the system's temporary folder where there is none),
// made on first use and removed when the process ends.
const std::string& ScratchFolder();

// A fresh, empty sub-folder of the scratch folder for one input; the previous one is removed.
std::string FreshFolder();

void WriteFile(const std::string& path, std::span<const std::uint8_t> bytes);

// Names in a folder, hidden ones included, sorted.
std::vector<std::string> FolderEntries(const std::string& folder);

// A tiny, valid 24-bit BMP of width x height pixels, written by hand.
std::vector<std::uint8_t> TinyBmp(int width, int height);

// Every message box shown while the object lives.
class MessageLog {
  public:
    MessageLog();
    ~MessageLog();
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;
    std::vector<MessageBoxRequest> Messages;

  private:
    MessageBoxPresenter m_previous;
};

// The first frame header of bytes taken for a JPEG, as the decoder would know it from libjpeg
// before it picks a reader; empty when there is none before the first scan, or it is bad.
std::optional<JpegFrame> FirstJpegFrame(std::span<const std::uint8_t> bytes);

// Prints what went wrong and aborts, so that libFuzzer keeps the input as a finding.
[[noreturn]] void Violated(const std::string& what);

// Aborts when the folder holds a temporary file of the JPEG writer.
void ExpectNoTemporaryFile(const std::string& folder);

}  // namespace quillane::fuzz
