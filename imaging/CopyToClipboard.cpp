// Copy of a cDIBSection to the clipboard as a screen-compatible bitmap.

#include "imaging/cDIBSection.h"
#include "platform/base/MessageBox.h"
#include "platform/gdi/Clipboard.h"

namespace quillane {

bool cDIBSection::CopyToClipboard(bool bAsDIB) {
    bool bResult = false;
    const std::int32_t lDesktop = GetDesktopWindow();
    const std::int32_t lScreenDC = GetDC(lDesktop);
    if (lScreenDC == 0) return false;
    const std::int32_t lMemDC = CreateCompatibleDC(lScreenDC);
    if (lMemDC == 0) {
        ReleaseDC(lDesktop, lScreenDC);
        return false;
    }

    if (bAsDIB) {
        MsgBox("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!",
               vbOKOnly);
    } else if (m_hMemDC != 0) {
        // Without a memory DC there is nothing to copy from; a blank bitmap on the clipboard
        // would be reported as success.
        const std::int32_t hBitmap = CreateCompatibleBitmap(lScreenDC, Width(), height());
        if (hBitmap != 0) {
            const std::int32_t hOld = SelectObject(lMemDC, hBitmap);
            PaintPicture(lMemDC, 0, 0, -1, -1, 0, 0, SRCCOPY);
            SelectObject(lMemDC, hOld);
            if (OpenClipboard(0)) {
                EmptyClipboard();
                bResult = SetClipboardData(CF_BITMAP, hBitmap) != 0;
                CloseClipboard();
            }
            // Not handed over: nobody else will ever free it.
            if (!bResult) DeleteObject(hBitmap);
        }
    }

    DeleteDC(lMemDC);
    ReleaseDC(lDesktop, lScreenDC);
    return bResult;
}

}  // namespace quillane
