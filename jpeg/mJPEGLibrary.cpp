#include "jpeg/mJPEGLibrary.h"

#include <cstdio>
#include <string>
#include <vector>

#include "jpeg/JpegFiller.h"
#include "platform/base/Conversions.h"
#include "platform/base/MessageBox.h"
#include "platform/ijl/ijl.h"

namespace quillane {

namespace {

constexpr std::int32_t kBytesPerPixel = 3;  // blue, green, red

// Releases the library's record however WriteJPG is left, once ijlInit has succeeded: after
// the failure message on a failed save, and before an error passes to the caller.
class InitialisedRecord {
  public:
    explicit InitialisedRecord(JPEG_CORE_PROPERTIES& record) : m_record(record) {}
    ~InitialisedRecord() { ijlFree(&m_record); }
    InitialisedRecord(const InitialisedRecord&) = delete;
    InitialisedRecord& operator=(const InitialisedRecord&) = delete;

  private:
    JPEG_CORE_PROPERTIES& m_record;
};

// "20-50 KB", "20 KB or more", "at most 50 KB": the window as it was asked for, in KB.
std::string WindowText(const SizeWindow& window) {
    const auto kb = [](std::int64_t bytes) { return std::to_string(bytes / kBytesPerKb); };
    if (window.MaxBytes == 0) return kb(window.MinBytes) + " KB or more";
    if (window.MinBytes == 0) return "at most " + kb(window.MaxBytes) + " KB";
    return kb(window.MinBytes) + "-" + kb(window.MaxBytes) + " KB";
}

// Encodes into memory at the quality the window calls for and writes that file once. False
// after a message when that cannot be done.
bool WriteInSizeWindow(JPEG_CORE_PROPERTIES& tJ, const JpegSaveOptions& options,
                       const std::string& sFile) {
    const QualityChoice choice =
        ChooseQuality(options.Quality, options.Window, [&tJ](int quality, auto& bytes) {
            tJ.jquality = quality;
            if (ijlWrite(&tJ, IJL_JBUFF_WRITEWHOLEIMAGE) != IJL_OK) return false;
            bytes.assign(tJ.JPGBytes, tJ.JPGBytes + tJ.JPGSizeBytes);
            return true;
        });
    if (choice.Result == QualityChoice::Outcome::TooLarge) {
        char size[64];
        std::snprintf(size, sizeof size, "%.1f KB (%lld bytes)",
                      double(choice.SmallestBytes) / kBytesPerKb,
                      static_cast<long long>(choice.SmallestBytes));
        MsgBox(sFile + ": not saved: even at quality " +
                   std::to_string(std::min(kLowestWindowQuality, options.Quality)) +
                   " the file is " + size + ", over the window of " + WindowText(options.Window),
               vbExclamation);
        return false;
    }
    if (choice.Result != QualityChoice::Outcome::Fits || tJ.JPGFile[0] == '\0' ||
        WriteJpegWithFiller(tJ.JPGFile, choice.Bytes, choice.FillerBytes) != 0) {
        MsgBox("Failed to save to JPG", vbExclamation);
        return false;
    }
    return true;
}

}  // namespace

bool WriteJPG(cDIBSection& cDib, std::string sFile, const JpegSaveOptions& options) {
    const std::string sFileCopy = sFile;
    bool bResult = false;
    // A local of the call; zeroed before the library fills in its defaults.
    JPEG_CORE_PROPERTIES tJ{};

    const IJLERR lInit = ijlInit(&tJ);
    if (lInit != IJL_OK) {
        MsgBox("Failed to initialise the IJL library: " + std::to_string(lInit), vbExclamation);
        return false;
    }
    const InitialisedRecord release(tJ);

    tJ.DIBWidth = cDib.Width();
    tJ.DIBHeight = CheckedSub32(0, cDib.height());  // negative: the rows are stored bottom-up
    tJ.DIBBytes = cDib.DIBSectionBitsPtr();
    tJ.DIBPadBytes =
        CheckedSub32(cDib.BytesPerScanLine(), CheckedMul32(kBytesPerPixel, cDib.Width()));

    // The name's bytes, ended by one zero byte. A name holding a zero byte of its own would
    // reach the library cut short and save under another name; it gets the empty name
    // instead, which the library refuses like any unusable name.
    std::vector<char> abFile;
    if (sFileCopy.find('\0') == std::string::npos) {
        abFile.assign(sFileCopy.begin(), sFileCopy.end());
    }
    abFile.push_back('\0');
    tJ.JPGFile = abFile.data();

    tJ.JPGWidth = cDib.Width();
    tJ.JPGHeight = cDib.height();
    tJ.jquality = options.Quality;
    tJ.JPGDotsPerInch = options.DotsPerInch;

    if (options.Window.Any()) {
        bResult = WriteInSizeWindow(tJ, options, sFileCopy);
    } else if (ijlWrite(&tJ, IJL_JFILE_WRITEWHOLEIMAGE) == IJL_OK) {
        bResult = true;
    } else {
        MsgBox("Failed to save to JPG", vbExclamation);
    }
    return bResult;
}

}  // namespace quillane
