#pragma once
// The drive list and the folder list as Qt widgets bound to their models. A choice the user
// makes is handed to the model (which raises the window's change event); the widgets redraw
// from the model whenever it tells them it changed.

#include <QComboBox>
#include <QListWidget>

#include "platform/forms/DirListBox.h"
#include "platform/forms/DriveListBox.h"

namespace quillane {

class DriveComboBox : public QComboBox {
  public:
    DriveComboBox(DriveListBox& model, QWidget* parent);

    // Shows the model's entries and selection.
    void syncFromModel();
    // What a user's pick of entry `row` does: selects that drive in the model. An error is
    // shown in a message box and the list falls back to the model's current drive.
    void chooseRow(int row);

  protected:
    // The volumes are read again each time the list opens, so a stick plugged in after the
    // start is offered.
    void showPopup() override;

  private:
    DriveListBox& m_model;
};

class FolderListWidget : public QListWidget {
  public:
    FolderListWidget(DirListBox& model, QWidget* parent);

    void syncFromModel();
    // What a double-click or Enter on entry `row` does: opens that folder in the model. An
    // error (a folder removed meanwhile) is shown and the list is read again.
    void openRow(int row);

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    DirListBox& m_model;
};

}  // namespace quillane
