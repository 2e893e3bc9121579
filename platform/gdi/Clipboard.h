#pragma once
// The system clipboard, for bitmaps. With a Qt application running, what is put here also goes
// to Qt's clipboard (and so to other programs); without one the clipboard lives in this process
// only. Either way the bitmap handed over stays readable through ClipboardBitmap.
// Single-threaded, like the rest of the drawing layer.

#include <cstdint>

namespace quillane {

constexpr std::uint32_t CF_BITMAP = 2;  // a device-dependent bitmap handle

// Opens the clipboard for this program (hwnd 0: no owner window). Fails while another holder
// has it open.
bool OpenClipboard(std::int32_t hwnd);
// Clears the clipboard and deletes the bitmap it owned. Only while this program has it open.
bool EmptyClipboard();
// Hands a bitmap over in format CF_BITMAP; returns the handle on success, 0 on failure (the
// clipboard not open by this program, another format, an unknown bitmap or one still selected
// into a device context). On success the clipboard owns the bitmap: DeleteObject and
// SelectObject refuse it from then on.
std::int32_t SetClipboardData(std::uint32_t format, std::int32_t hMem);
// Closes the clipboard if this program has it open.
bool CloseClipboard();

// The bitmap the clipboard holds (0 for none); read its pixels with BitmapPixels.
std::int32_t ClipboardBitmap();

// Another program holding the clipboard open, for as long as the object lives. While it does,
// OpenClipboard fails. Construction fails softly: Holding() is false if the clipboard was
// already open.
class ClipboardHolder {
  public:
    ClipboardHolder();
    ~ClipboardHolder();
    ClipboardHolder(const ClipboardHolder&) = delete;
    ClipboardHolder& operator=(const ClipboardHolder&) = delete;

    bool Holding() const { return m_holding; }

  private:
    bool m_holding = false;
};

}  // namespace quillane
