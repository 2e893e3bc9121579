#pragma once
// A picture box as a model: geometry and settings. Painting and pictures come with the batch
// run; the boxes of the main window are off-screen surfaces that nobody sees.

#include <string>

#include "platform/forms/Control.h"

namespace quillane {

class PictureBox : public Control {
  public:
    PictureBox(std::string name, float left, float top, float width, float height, int tabIndex);

    bool AutoSize = false;    // takes the size of the picture assigned to it
    bool AutoRedraw = false;  // keeps what is drawn in an off-screen bitmap
};

}  // namespace quillane
