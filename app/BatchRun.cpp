// The start button's batch run: check the two size fields, list the folder, give the output
// canvas the target size, and convert every listed picture in turn into a resized JPEG beside
// it (or where the settings say), with the progress bar following and a message with the count
// at the end.

#include <filesystem>
#include <map>
#include <new>
#include <optional>
#include <system_error>

#include "app/FormMain.h"
#include "imaging/cDIBSection.h"
#include "jpeg/mJPEGLibrary.h"
#include "platform/base/Conversions.h"
#include "platform/base/MessageBox.h"
#include "platform/base/RuntimeError.h"
#include "platform/base/StopRequest.h"
#include "platform/decodeahead/DecodeAheadScope.h"
#include "platform/forms/Application.h"
#include "platform/forms/FileSystem.h"
#include "platform/forms/LoadPicture.h"
#include "platform/gdi/Gdi.h"
#include "platform/ijl/WrittenFolders.h"

namespace quillane {

namespace {
constexpr const char* kBitmapExtension = ".bmp";
constexpr const char* kJpegExtension = ".jpg";
constexpr std::size_t kExtensionLength = 4;

std::string WithSlash(std::string folder) {
    if (Right(folder, 1) != "/") folder += "/";
    return folder;
}

// Makes the folder an output goes into, with its parents, unless it is there.
void MakeFolderFor(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        RaiseError(ErrorNumber::PathFileAccessError,
                   "Path/File access error: cannot make the folder " + folder.string() + " (" +
                       error.message() + ")");
    }
}
// Flushes the folders the run wrote into when it ends, however it ends: the names of its
// outputs then survive a power cut too (their data was flushed as each was written). A run that
// ends normally flushes them itself first, to report a failure.
struct FoldersFlushedAtTheEnd {
    FoldersFlushedAtTheEnd() = default;
    FoldersFlushedAtTheEnd(const FoldersFlushedAtTheEnd&) = delete;
    FoldersFlushedAtTheEnd& operator=(const FoldersFlushedAtTheEnd&) = delete;
    ~FoldersFlushedAtTheEnd() { FlushWrittenFolders(); }
};
}  // namespace

std::string FormMain::OutputPathFor(const std::string& folderPath,
                                    const std::string& fileName) const {
    const std::size_t nameStart = fileName.rfind('/') + 1;  // npos + 1 == 0: a bare name
    std::string outputName = Settings.Prefix + fileName.substr(nameStart);
    // A ".bmp" name (any case) ends in ".jpg" instead.
    if (LCase(Right(fileName, kExtensionLength)) == kBitmapExtension) {
        outputName = Left(outputName, outputName.size() - kExtensionLength) + kJpegExtension;
    }
    const std::string base =
        Settings.OutputFolder.empty() ? WithSlash(folderPath) : WithSlash(Settings.OutputFolder);
    return base + fileName.substr(0, nameStart) + outputName;
}

void FormMain::CMD_OK_Click() {
    try {
        if (!IsNumeric(Trim(txtW.Text())) || !IsNumeric(Trim(txtH.Text()))) {
            MsgBox("must Number", vbExclamation, "Warning");
            return;
        }
        if (!ListPictures(DirS.Path(), m_FileList)) {
            MsgBox("文件夹没有jpg和bmp图片", vbExclamation, "Warning");
            return;
        }
        oPic.SetBackColor(Settings.Background);
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
    const FoldersFlushedAtTheEnd flushed;
    std::optional<DecodeAheadScope> ahead;
    if (DecodeAheadEnabled && m_FileList.size() > 1) ahead.emplace(PlanDecodeAhead());
    for (std::size_t index = 0; index < m_FileList.size(); ++index) {
        // A stop asked for from outside takes effect between pictures: every picture written
        // is complete, and none is cut off halfway.
        if (StopRequested()) break;
        if (ahead) ahead->Begin(index);
        ResizePicture(WithSlash(DirS.Path()), m_FileList[index]);
        if (ahead) ahead->Finished(index);
        gone = CheckedAdd32(static_cast<std::int32_t>(index), 1);
        tBar.SetValue(static_cast<float>(gone));
        if (OnPictureDone) OnPictureDone(gone, static_cast<std::int32_t>(m_FileList.size()));
        // Lets the window repaint and answer the desktop between pictures; input waits.
        DoEvents();
    }
    // Told as a picture that could not be written is: the outputs there are whole, but their
    // names may not survive a power cut.
    for (const UnflushedFolder& folder : FlushWrittenFolders().Failed) {
        MsgBox("Path/File access error: cannot flush the folder " + folder.Folder +
               " to the disk (" + std::error_code(folder.Error, std::generic_category()).message() +
               ")");
    }
    return gone;
}

std::vector<DecodeJob> FormMain::PlanDecodeAhead() const {
    const std::string folder = WithSlash(DirS.Path());
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
        const std::string path = folder + m_FileList[index];
        const auto writer = lastWriterOf.find(path);
        jobs.push_back({path, paintWidth, paintHeight,
                        writer == lastWriterOf.end() ? -1 : writer->second, Settings.Fit});
        lastWriterOf[OutputPathFor(folder, m_FileList[index])] = static_cast<std::ptrdiff_t>(index);
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
        const FitPlacement place =
            FitRectangles(Settings.Fit, picture->PixelWidth(), picture->PixelHeight(), targetWidth,
                          static_cast<int>(targetHeight));
        const PixelRectangle& to = place.Destination;
        const PixelRectangle& from = place.Source;
        // A contained picture leaves a margin, which the last picture must not show through.
        if (Settings.Fit == FitMode::Contain) oPic.Cls();
        oPic.PaintPicture(picture, float(to.Left), float(to.Top), float(to.Width), float(to.Height),
                          float(from.Left), float(from.Top), float(from.Width), float(from.Height),
                          SRCCOPY);
        oPic.SetPicture(oPic.Image());

        const PictureRef image = oPic.Picture();
        if (!image) RaiseError(ErrorNumber::InvalidPicture);
        cDIBSection cDib;
        cDib.CreateFromPicture(*image);

        const std::string output = OutputPathFor(folderPath, fileName);
        if (!Settings.OutputFolder.empty()) MakeFolderFor(output);
        // Without a prefix an output could be the picture itself, reached by another path.
        const std::optional<FileId> replaced =
            Settings.Prefix.empty() ? FileIdOf(output) : std::nullopt;
        if (replaced && replaced == FileIdOf(folderPath + fileName)) {
            RaiseError(ErrorNumber::PathFileAccessError,
                       "Path/File access error: '" + fileName + "' would be written over itself");
        }
        WriteJPG(cDib, output, Settings.Jpeg);
    } catch (const RuntimeError& error) {
        if (error.Number() != ErrorNumber::None) MsgBox(error.Description());
    } catch (const std::bad_alloc&) {
        // Memory running out for one picture must not end the run either.
        MsgBox("Out of memory: " + fileName);
    }
}

}  // namespace quillane
