#pragma once
// The application's icon: one drawing (a framed photo with a diagonal resize arrow), rendered
// at any size. The window, the hicolor PNGs and the .ico file all come from this drawing.

#include <QIcon>
#include <QImage>
#include <vector>

namespace quillane {

// The drawing rendered into a size x size image with graded alpha (ARGB32, not premultiplied).
QImage renderQuillaneIcon(int size);

// One image of the icon file: its square size in pixels and its colour depth (8 or 32 bits).
struct IconImageSpec {
    int size;
    int bitCount;
};

// The icon's twelve images in file order: 16, 24, 32 and 48 pixels each at 8 bits then 32
// bits, then 64, 72, 96 and 128 pixels at 32 bits only.
const std::vector<IconImageSpec>& quillaneIconTable();

// The drawing at every size of the icon table, for the window and the application.
QIcon quillaneIcon();

// The square sizes of the icon table, each once, smallest first (the hicolor PNG sizes).
std::vector<int> quillaneIconSizes();

}  // namespace quillane
