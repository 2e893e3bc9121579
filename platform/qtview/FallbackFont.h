#pragma once
// The window's fixed layout was drawn for a Song face at 12 pixels, whose 12-pixel line fills
// the labels' boxes exactly. Other CJK faces need taller lines at the same size (Droid Sans
// Fallback 16 pixels, Noto CJK 17), so without the Song face the labels lose their lower part.

#include <QStringList>
#include <QWidget>

namespace quillane {

// The names a Song (Ming) face goes by on a Linux desktop, best first. The Windows names come
// first so a machine that has SimSun itself uses it.
const QStringList& songFaces();

// Whether a Song face the layout was drawn for is installed.
bool songFaceInstalled();

// Gives window the installed CJK face and pixel size (at most the window font's 12) at which
// its labels fit, preferring the larger size and, at the same size, the Song-like face. Does
// nothing when the Song face is installed, so the layout it was drawn for stays as it is.
void fitFontWithoutSongFace(QWidget& window);

}  // namespace quillane
