#include "app/FormMain.h"

#include <cstdint>
#include <new>

#include "platform/base/Conversions.h"
#include "platform/base/RuntimeError.h"
#include "platform/forms/Application.h"
#include "platform/forms/Dir.h"

namespace quillane {

namespace {

// The font set explicitly on the drive and folder lists: a Song face at 10.5 points in the
// GB2312 character set.
FontSpec ListFont() {
    return FontSpec{"宋体", 10.5f, 134, 400, false, false, false};
}

constexpr bool kAutoSize = true;
constexpr bool kFixedBox = false;

}  // namespace

// Positions and sizes are client-area pixels; the last three controls lie outside the client
// area and are never seen.
FormMain::FormMain()
    : DriveS("DriveS", 16, 16, 305, 22, 0),
      DirS("DirS", 16, 40, 305, 134, 1),
      Label5("Label5", kNoControlIndex, 32, 184, 36, 12, 13, "图片数", kAutoSize),
      LabCount("LabCount", kNoControlIndex, 88, 184, 14, 12, 14, "0", kAutoSize),
      Label3("Label3", kNoControlIndex, 104, 184, 12, 12, 15, "张", kAutoSize),
      // One line of text; the 97-pixel box breaks it into four lines, one size to a line.
      Label4("Label4", kNoControlIndex, 176, 192, 97, 49, 16,
             "小1寸：390*260 中1寸：413*295 大1寸：567*390  2寸：413*626", kFixedBox, true),
      txtH("txtH", 80, 205, 49, 18, 5, "220"),
      Label2("Label2", kNoControlIndex, 32, 232, 36, 12, 8, "像素宽", kAutoSize),
      txtW("txtW", 80, 229, 49, 18, 6, "176"),
      tBar("tBar", 16, 264, 313, 17, 11, 0, 100),
      CMD_OK("CMD_OK", 120, 288, 81, 25, 2, "开始调整"),
      Lab1("Lab1", kNoControlIndex, 376, 200, 18, 12, 12, "c:\\", kAutoSize),
      oPic("oPic", 352, 40, 144, 148, 4),
      sPic("sPic", 408, 208, 81, 89, 3) {
    Caption = "QuillaneV1.0";
    ClientWidth = 342;
    ClientHeight = 324;
    FixedSingleBorder = true;
    MinButton = false;
    MaxButton = false;
    CenterOnScreen = true;

    DriveS.SetFont(ListFont());
    DirS.SetFont(ListFont());
    Label1.Add(0, 32, 208, 36, 12, 7, "像素高", kAutoSize);
    height.Add(1, 128, 208, 18, 12, 9, "pix", kAutoSize);
    height.Add(2, 128, 232, 18, 12, 10, "pix", kAutoSize);
    Lab1.SetVisible(false);
    Lab1.SetEnabled(false);
    for (PictureBox* box : {&oPic, &sPic}) {
        box->SetVisible(false);
        box->AutoSize = true;
        box->AutoRedraw = true;
    }

    // Registered top to bottom as the user sees them.
    for (Control* control : std::initializer_list<Control*>{
             &DriveS, &DirS, &Label5, &LabCount, &Label3, &Label4, &Label1[0], &txtH, &height[1],
             &Label2, &txtW, &height[2], &tBar, &CMD_OK, &Lab1, &oPic, &sPic}) {
        Add(*control);
    }

    OnLoad = [this] { Form_Load(); };
    DriveS.OnChange = [this] { DriveS_Change(); };
    DirS.OnChange = [this] { DirS_Change(); };
    CMD_OK.OnClick = [this] { CMD_OK_Click(); };
}

void FormMain::Form_Load() {
    DriveS.SetDrive("c:");
    DirS.SetPath(AppPath() + "/");
}

void FormMain::DriveS_Change() {
    DirS.SetPath(DriveS.Drive());
}

void FormMain::DirS_Change() {
    Lab1.SetCaption(DirS.Path());
    // 32 bits rather than 16: a folder of more than 32,767 pictures must still show its count.
    std::int32_t count = 0;
    if (GetDirectoryFileList(DirS.Path(), m_FileList)) {
        count = static_cast<std::int32_t>(m_FileList.size());
    }
    LabCount.SetCaption(std::to_string(count));
}

bool FormMain::GetDirectoryFileList(std::string Path, std::vector<std::string>& fileName) {
    try {
        if (Right(Path, 1) != "/") Path += "/";
        std::string name = Dir(Path + "*.*", vbNormal);
        std::int32_t counter = 0;
        while (!name.empty()) {
            // One spare entry at the end while listing, as the list grows for every name.
            fileName.resize(static_cast<std::size_t>(counter) + 1);
            const std::string extension = LCase(Right(name, 4));
            if (extension == ".jpg" || extension == ".bmp") {
                fileName[static_cast<std::size_t>(counter)] = name;
                counter = CheckedAdd32(counter, 1);
            }
            name = Dir();
        }
        if (counter == 0) return false;
        fileName.resize(static_cast<std::size_t>(counter));
        return true;
    } catch (const RuntimeError&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace quillane
