// The start button's batch run: check the two size fields, list the folder, give the output
// canvas the target size, and convert every listed picture in turn into a resized JPEG beside
// it, with the progress bar following and a message with the count at the end.

#include <map>
#include <new>
#include <optional>

#include "app/FormMain.h"
#include "imaging/cDIBSection.h"
#include "jpeg/mJPEGLibrary.h"
#include "platform/base/Conversions.h"
#include "platform/base/MessageBox.h"
#include "platform/base/RuntimeError.h"
#include "platform/base/StopRequest.h"
#include "platform/decodeahead/DecodeAheadScope.h"
#include "platform/forms/Application.h"
#include "platform/forms/LoadPicture.h"
#include "platform/gdi/Gdi.h"

namespace quillane {

namespace {
constexpr const char* kOutputPrefix = "处理后";
constexpr const char* kBitmapExtension = ".bmp";
constexpr const char* kJpegExtension = ".jpg";
constexpr std::size_t kExtensionLength = 4;

// "处理后" followed by the picture's name; a ".bmp" name (any case) ends in ".jpg" instead.
std::string OutputNameFor(const std::string& fileName) {
    std::string outputName = kOutputPrefix + fileName;
    if (LCase(Right(fileName, kExtensionLength)) == kBitmapExtension) {
        outputName = Left(outputName, outputName.size() - kExtensionLength) + kJpegExtension;
    }
    return outputName;
}
}  // namespace

void FormMain::CMD_OK_Click() {
    try {
        if (!IsNumeric(Trim(txtW.Text())) || !IsNumeric(Trim(txtH.Text()))) {
            MsgBox("must Number", vbExclamation, "Warning");
            return;
        }
        if (!GetDirectoryFileList(DirS.Path(), m_FileList)) {
            MsgBox("文件夹没有jpg和bmp图片", vbExclamation, "Warning");
            return;
        }
        // Each assignment reads its field again, as the canvas takes them one by one.
        oPic.SetWidth(CInt(Trim(txtW.Text())));
        oPic.SetHeight(CInt(Trim(txtH.Text())));
        oPic.SetScaleHeight(CInt(Trim(txtH.Text())));
        oPic.SetScaleWidth(CInt(Trim(txtW.Text())));

        const std::int32_t count = ResizeFileList();
        // A run stopped from outside does not claim success; whoever stopped it reports it.
        if (StopRequested()) return;

        tBar.SetValue(tBar.Max());
        MsgBox("调整成功:" + std::to_string(count) + "张图片！", vbOKOnly, "System");
        tBar.SetValue(0);
    } catch (const RuntimeError& error) {
        if (error.Number() != ErrorNumber::None) MsgBox("Error", vbExclamation, "System");
    } catch (const std::bad_alloc&) {
        MsgBox("Error", vbExclamation, "System");
    }
}

std::int32_t FormMain::ResizeFileList() {
    // The count is wider than the window's 16-bit counters: a folder of more than 32,767
    // pictures is converted and reported in full rather than failing at the end.
    std::int32_t gone = 0;
    std::optional<DecodeAheadScope> ahead;
    if (DecodeAheadEnabled && m_FileList.size() > 1) ahead.emplace(PlanDecodeAhead());
    for (std::size_t index = 0; index < m_FileList.size(); ++index) {
        // A stop asked for from outside takes effect between pictures: every picture written
        // is complete, and none is cut off halfway.
        if (StopRequested()) break;
        std::string folder = DirS.Path();
        if (Right(folder, 1) != "/") folder += "/";
        if (ahead) ahead->Begin(index);
        ResizePicture(folder, m_FileList[index]);
        if (ahead) ahead->Finished(index);
        gone = CheckedAdd32(static_cast<std::int32_t>(index), 1);
        tBar.SetValue(static_cast<float>(gone));
        if (OnPictureDone) OnPictureDone(gone, static_cast<std::int32_t>(m_FileList.size()));
        // Lets the window repaint and answer the desktop between pictures; input waits.
        DoEvents();
    }
    return gone;
}

std::vector<DecodeJob> FormMain::PlanDecodeAhead() const {
    std::string folder = DirS.Path();
    if (Right(folder, 1) != "/") folder += "/";
    int paintWidth = 0;
    int paintHeight = 0;
    try {
        paintWidth = CInt(Trim(txtW.Text()));
        paintHeight = CInt(Trim(txtH.Text()));
    } catch (const RuntimeError&) {
        return {};  // the run reports this itself, picture by picture
    }
    if (paintWidth <= 0 || paintHeight <= 0) paintWidth = paintHeight = 0;  // full size

    // An entry whose file an earlier entry's output replaces is read after that output.
    std::map<std::string, std::ptrdiff_t> lastWriterOf;
    std::vector<DecodeJob> jobs;
    jobs.reserve(m_FileList.size());
    for (std::size_t index = 0; index < m_FileList.size(); ++index) {
        const std::string& name = m_FileList[index];
        const auto writer = lastWriterOf.find(name);
        jobs.push_back({folder + name, paintWidth, paintHeight,
                        writer == lastWriterOf.end() ? -1 : writer->second});
        lastWriterOf[OutputNameFor(name)] = static_cast<std::ptrdiff_t>(index);
    }
    return jobs;
}

void FormMain::ResizePicture(const std::string& folderPath, const std::string& fileName) {
    try {
        sPic.SetPicture(LoadPicture(folderPath + fileName));

        std::int16_t targetWidth = CInt(Trim(txtW.Text()));
        // The height stays a single-precision number after the zero-size fallback.
        double targetHeight = CInt(Trim(txtH.Text()));
        if (targetHeight == 0 || targetWidth == 0) {
            targetWidth = CInt(static_cast<double>(sPic.Width()));
            targetHeight = sPic.Height();
        }

        const PictureRef picture = sPic.Picture();
        const float sourceWidth = sPic.Width();
        const float sourceHeight = sPic.Height();
        oPic.PaintPicture(picture, 0.0f, 0.0f, targetWidth, static_cast<float>(targetHeight), 0, 0,
                          sourceWidth, sourceHeight, SRCCOPY);
        oPic.SetPicture(oPic.Image());

        const PictureRef image = oPic.Picture();
        if (!image) RaiseError(ErrorNumber::InvalidPicture);
        cDIBSection cDib;
        cDib.CreateFromPicture(*image);

        WriteJPG(cDib, folderPath + OutputNameFor(fileName));
    } catch (const RuntimeError& error) {
        if (error.Number() != ErrorNumber::None) MsgBox(error.Description());
    } catch (const std::bad_alloc&) {
        // Memory running out for one picture must not end the run either.
        MsgBox("Out of memory: " + fileName);
    }
}

}  // namespace quillane
