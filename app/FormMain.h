#pragma once
// The program's only window: a drive list and a folder list to pick a folder, the number of its
// pictures, the target height and width, a progress bar and the start button. The two picture
// boxes are off-screen drawing surfaces that nobody sees.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/BatchSettings.h"
#include "platform/decodeahead/DecodeAheadScope.h"
#include "platform/forms/CommandButton.h"
#include "platform/forms/ControlArray.h"
#include "platform/forms/DirListBox.h"
#include "platform/forms/DriveListBox.h"
#include "platform/forms/Form.h"
#include "platform/forms/Label.h"
#include "platform/forms/PictureBox.h"
#include "platform/forms/ProgressBar.h"
#include "platform/forms/TextBox.h"

namespace quillane {

class FormMain : public Form {
  public:
    FormMain();

    // Controls in the order the user sees them, top to bottom.
    DriveListBox DriveS;
    DirListBox DirS;
    Label Label5;
    Label LabCount;
    Label Label3;
    Label Label4;
    ControlArray<Label> Label1{"Label1"};  // element 0: "像素高"
    TextBox txtH;
    ControlArray<Label> height{"height"};  // elements 1 and 2: "pix" after each field
    Label Label2;
    TextBox txtW;
    ProgressBar tBar;
    CommandButton CMD_OK;
    Label Lab1;  // hidden; holds the current folder's path
    PictureBox oPic;
    PictureBox sPic;

    // Event handlers.
    void Form_Load();
    void DriveS_Change();
    void DirS_Change();
    // The start button: checks the two size fields, lists the folder and converts every picture
    // in it, with the progress bar following, then reports the count. A stop requested from
    // outside ends the run after the picture being written, without the count's message.
    void CMD_OK_Click();

    // Lists the pictures (".jpg" and ".bmp", any case) directly in Path into fileName, in the
    // enumeration's order. True when at least one was found; False, without a message, for a
    // folder without pictures or one that cannot be listed (fileName is then not meaningful).
    bool GetDirectoryFileList(std::string Path, std::vector<std::string>& fileName);

    // The window's file list: bare names of the current folder's pictures, filled by
    // GetDirectoryFileList; for a run through sub-folders, paths relative to the folder.
    const std::vector<std::string>& FileList() const { return m_FileList; }

    // Told after each picture of a run (pictures gone through, pictures listed), for hosts that
    // show progress beyond the bar's 100, such as the batch command's progress line.
    std::function<void(std::int32_t, std::int32_t)> OnPictureDone;

    // A helper thread decodes and stretches the pictures of a run ahead of their turn; what a
    // person sees and the files written are the same either way.
    bool DecodeAheadEnabled = true;

    // How the start button's run places, saves and names the pictures; the window keeps the
    // defaults.
    BatchSettings Settings;

  private:
    // Converts every entry of the file list in order, or the first ones until a stop is
    // requested; returns how many were gone through, converted or not.
    std::int32_t ResizeFileList();
    // Lists the pictures of a run into fileName as GetDirectoryFileList does, and with
    // Settings.Recursive those of every sub-folder below Path too, hidden ones, links to folders
    // and the output folder excepted.
    bool ListPictures(const std::string& Path, std::vector<std::string>& fileName);
    // Loads one picture (fileName relative to folderPath), places it on the canvas at the typed
    // size as Settings.Fit says and writes it where OutputPathFor says. Reports its own errors
    // and returns.
    void ResizePicture(const std::string& folderPath, const std::string& fileName);
    // Where the picture fileName of folderPath is written: in the same folder (or its place under
    // Settings.OutputFolder), named Settings.Prefix + its name, a .bmp name ending in .jpg.
    std::string OutputPathFor(const std::string& folderPath, const std::string& fileName) const;
    // What the decode-ahead thread needs of each entry of the file list.
    std::vector<DecodeJob> PlanDecodeAhead() const;

    std::vector<std::string> m_FileList;
};

}  // namespace quillane
