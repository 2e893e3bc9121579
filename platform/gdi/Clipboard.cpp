#include "platform/gdi/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <cstring>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiObjects.h"

namespace quillane {

using namespace gdi_detail;

namespace {

enum class Opener { Nobody, ThisProgram, Another };

struct ClipboardState {
    Opener OpenedBy = Opener::Nobody;
    std::int32_t Bitmap = 0;  // owned by the clipboard
};

ClipboardState& State() {
    static ClipboardState state;
    return state;
}

QGuiApplication* RunningGuiApplication() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance());
}

// A deep copy of a bitmap's pixels as a Qt image; Qt keeps the copy, not our memory.
QImage ToQImage(const BgrView& view) {
    QImage image(view.Width, view.Height, QImage::Format_BGR888);
    if (image.isNull()) return image;
    for (int y = 0; y < view.Height; ++y) {
        std::memcpy(image.scanLine(y), view.Row(y), static_cast<std::size_t>(view.Width) * 3);
    }
    return image;
}

}  // namespace

bool OpenClipboard(std::int32_t hwnd) {
    (void)hwnd;  // the owner window only matters to clipboard viewers, which we do not serve
    ClipboardState& state = State();
    if (state.OpenedBy == Opener::Another) return false;
    state.OpenedBy = Opener::ThisProgram;
    return true;
}

bool EmptyClipboard() {
    ClipboardState& state = State();
    if (state.OpenedBy != Opener::ThisProgram) return false;
    if (state.Bitmap != 0) {
        if (BitmapObject* bitmap = FindBitmap(state.Bitmap)) bitmap->OwnedByClipboard = false;
        ForceDeleteBitmap(state.Bitmap);
        state.Bitmap = 0;
    }
    if (RunningGuiApplication() != nullptr) QGuiApplication::clipboard()->clear();
    return true;
}

std::int32_t SetClipboardData(std::uint32_t format, std::int32_t hMem) {
    ClipboardState& state = State();
    if (state.OpenedBy != Opener::ThisProgram || format != CF_BITMAP) return 0;
    BitmapObject* bitmap = FindBitmap(hMem);
    if (bitmap == nullptr || bitmap->Stock || bitmap->SelectedInto != 0 ||
        bitmap->OwnedByClipboard) {
        return 0;
    }
    if (state.Bitmap != 0) {
        if (BitmapObject* old = FindBitmap(state.Bitmap)) old->OwnedByClipboard = false;
        ForceDeleteBitmap(state.Bitmap);
    }
    bitmap->OwnedByClipboard = true;
    state.Bitmap = hMem;
    if (RunningGuiApplication() != nullptr) {
        QGuiApplication::clipboard()->setImage(ToQImage(bitmap->TopDownView()));
    }
    return hMem;
}

bool CloseClipboard() {
    ClipboardState& state = State();
    if (state.OpenedBy != Opener::ThisProgram) return false;
    state.OpenedBy = Opener::Nobody;
    return true;
}

std::int32_t ClipboardBitmap() {
    return State().Bitmap;
}

ClipboardHolder::ClipboardHolder() {
    ClipboardState& state = State();
    if (state.OpenedBy != Opener::Nobody) return;
    state.OpenedBy = Opener::Another;
    m_holding = true;
}

ClipboardHolder::~ClipboardHolder() {
    if (m_holding) State().OpenedBy = Opener::Nobody;
}

}  // namespace quillane
