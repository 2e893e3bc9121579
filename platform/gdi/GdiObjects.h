#pragma once
// The drawing layer's handle table, shared by the files of platform/gdi only. Every object the
// layer hands out lives here under its handle; looking a handle up checks its kind, so a stale
// or wrong handle finds nothing.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>

#include "platform/raster/BgrImage.h"

namespace quillane::gdi_detail {

struct BitmapObject {
    std::unique_ptr<std::uint8_t, LargeBufferDeleter> Memory;  // zeroed; never moves while alive
    std::int32_t Width = 0;                                    // pixels, > 0
    std::int32_t Height = 0;                                   // rows, > 0
    std::ptrdiff_t Stride = 0;  // bytes a row in memory, multiple of 4
    std::size_t Bytes = 0;      // Stride * Height
    bool BottomUp = false;      // memory row 0 is the bottom line of the picture
    bool DibSection = false;    // GetObjectA reports the bits address
    bool Stock = false;         // the shared 1x1 bitmap of fresh memory DCs
    bool OwnedByClipboard = false;
    std::int32_t SelectedInto = 0;  // the DC holding it (not tracked for the stock bitmap)

    BgrView TopDownView() const;
};

enum class DcKind { Memory, Screen };

struct DcObject {
    DcKind Kind = DcKind::Memory;
    std::int32_t Bitmap = 0;  // selected bitmap; 0 for the screen, which has no pixels
};

// Allocates a zeroed bitmap; nothing when the size is not positive, overflows or passes the cap.
std::optional<BitmapObject> AllocateBitmap(std::int32_t width, std::int32_t height, bool bottomUp);

std::int32_t AddBitmap(BitmapObject bitmap);
std::int32_t AddDc(DcObject dc);
BitmapObject* FindBitmap(std::int32_t handle);
DcObject* FindDc(std::int32_t handle);
// Forgets the handle and frees what it owns.
void Remove(std::int32_t handle);
std::int32_t StockBitmap();
// The live DIB section whose pixels start at bits, or null.
const BitmapObject* FindDibSectionByBits(const void* bits);

// The bitmap selected into a DC with pixels, or null (unknown DC, screen DC).
BitmapObject* SurfaceOf(std::int32_t hdc);

// Deletes a bitmap whatever holds it: a DC that has it selected gets the stock bitmap back.
// For owners that must let go (a picture object going away, the clipboard being emptied).
void ForceDeleteBitmap(std::int32_t handle);

}  // namespace quillane::gdi_detail
