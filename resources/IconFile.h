#pragma once
// Writes a Windows .ico file (for a Windows build of the program, and for desktops that still
// take one). Each image is stored as an uncompressed DIB with a 1-bit transparency mask.

#include <QByteArray>
#include <QImage>
#include <vector>

namespace quillane {

struct IconEntry {
    QImage image;  // square, 1 to 256 pixels a side; any format, alpha is honoured
    int bitCount;  // 8: 256-colour palette; 32: blue, green, red and graded alpha
};

// The bytes of an .ico file holding the entries in the given order. Returns an empty array if
// an entry is not square, is larger than 256 pixels or asks for a depth other than 8 or 32.
QByteArray encodeIconFile(const std::vector<IconEntry>& entries);

}  // namespace quillane
