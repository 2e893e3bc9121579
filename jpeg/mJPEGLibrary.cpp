#include "jpeg/mJPEGLibrary.h"

#include <string>
#include <vector>

#include "platform/base/Conversions.h"
#include "platform/base/MessageBox.h"
#include "platform/ijl/ijl.h"

namespace quillane {

namespace {

constexpr std::int32_t kJpegQuality = 90;
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

}  // namespace

bool WriteJPG(cDIBSection& cDib, std::string sFile) {
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
    tJ.jquality = kJpegQuality;

    if (ijlWrite(&tJ, IJL_JFILE_WRITEWHOLEIMAGE) == IJL_OK) {
        bResult = true;
    } else {
        MsgBox("Failed to save to JPG", vbExclamation);
    }
    return bResult;
}

}  // namespace quillane
