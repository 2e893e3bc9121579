#include "platform/gdi/GdiObjects.h"

#include <limits>
#include <unordered_map>
#include <utility>
#include <variant>

namespace quillane::gdi_detail {

namespace {

// Policy cap: no single bitmap larger than 2 GiB, far beyond any picture this tool handles.
constexpr std::uint64_t kMaxBitmapBytes = std::uint64_t{1} << 31;
// Handles start well above small integers so that a count or an index passed by mistake is
// not taken for a handle.
constexpr std::int32_t kFirstHandle = 0x00100000;

using Object = std::variant<BitmapObject, DcObject>;

struct Table {
    std::unordered_map<std::int32_t, Object> Objects;
    std::int32_t Next = kFirstHandle;
    std::int32_t Stock = 0;

    std::int32_t Add(Object object) {
        // Handles are never reused while the counter lasts; after two billion objects it wraps
        // and skips those still alive.
        while (Objects.count(Next) != 0 || Next < kFirstHandle) {
            Next = Next == std::numeric_limits<std::int32_t>::max() ? kFirstHandle : Next + 1;
        }
        const std::int32_t handle = Next;
        Next = Next == std::numeric_limits<std::int32_t>::max() ? kFirstHandle : Next + 1;
        Objects.emplace(handle, std::move(object));
        return handle;
    }
};

// Never destroyed, so that picture objects released during static destruction still find it.
Table& TheTable() {
    static Table* table = new Table;
    return *table;
}

}  // namespace

BgrView BitmapObject::TopDownView() const {
    std::uint8_t* base = Memory.get();
    if (BottomUp) {
        return {base + static_cast<std::ptrdiff_t>(Height - 1) * Stride, Width, Height, -Stride};
    }
    return {base, Width, Height, Stride};
}

std::optional<BitmapObject> AllocateBitmap(std::int32_t width, std::int32_t height, bool bottomUp) {
    if (width <= 0 || height <= 0) return std::nullopt;
    // Overflow guard: computed in 64 bits, where int32 sizes cannot overflow.
    const auto stride = static_cast<std::uint64_t>(BgrImage::StrideFor(width));
    const std::uint64_t bytes = stride * static_cast<std::uint64_t>(height);
    if (bytes > kMaxBitmapBytes) return std::nullopt;
    auto* memory = static_cast<std::uint8_t*>(AllocateLarge(static_cast<std::size_t>(bytes)));
    if (memory == nullptr) return std::nullopt;
    BitmapObject bitmap;
    bitmap.Memory = {memory, LargeBufferDeleter{static_cast<std::size_t>(bytes)}};
    bitmap.Width = width;
    bitmap.Height = height;
    bitmap.Stride = static_cast<std::ptrdiff_t>(stride);
    bitmap.Bytes = static_cast<std::size_t>(bytes);
    bitmap.BottomUp = bottomUp;
    return bitmap;
}

std::int32_t AddBitmap(BitmapObject bitmap) {
    return TheTable().Add(std::move(bitmap));
}

std::int32_t AddDc(DcObject dc) {
    return TheTable().Add(dc);
}

BitmapObject* FindBitmap(std::int32_t handle) {
    auto& objects = TheTable().Objects;
    auto found = objects.find(handle);
    return found == objects.end() ? nullptr : std::get_if<BitmapObject>(&found->second);
}

DcObject* FindDc(std::int32_t handle) {
    auto& objects = TheTable().Objects;
    auto found = objects.find(handle);
    return found == objects.end() ? nullptr : std::get_if<DcObject>(&found->second);
}

void Remove(std::int32_t handle) {
    TheTable().Objects.erase(handle);
}

std::int32_t StockBitmap() {
    Table& table = TheTable();
    if (table.Stock == 0) {
        std::optional<BitmapObject> stock = AllocateBitmap(1, 1, false);
        if (!stock) return 0;
        stock->Stock = true;
        table.Stock = table.Add(std::move(*stock));
    }
    return table.Stock;
}

const BitmapObject* FindDibSectionByBits(const void* bits) {
    // The live objects are few (a handful of pictures and contexts); a linear look is cheap for
    // a check made once per whole-picture operation.
    for (const auto& [handle, object] : TheTable().Objects) {
        const auto* bitmap = std::get_if<BitmapObject>(&object);
        if (bitmap != nullptr && bitmap->DibSection && bitmap->Memory.get() == bits) {
            return bitmap;
        }
    }
    return nullptr;
}

BitmapObject* SurfaceOf(std::int32_t hdc) {
    const DcObject* dc = FindDc(hdc);
    if (dc == nullptr || dc->Kind != DcKind::Memory) return nullptr;
    return FindBitmap(dc->Bitmap);
}

void ForceDeleteBitmap(std::int32_t handle) {
    BitmapObject* bitmap = FindBitmap(handle);
    if (bitmap == nullptr || bitmap->Stock) return;
    if (DcObject* dc = FindDc(bitmap->SelectedInto)) dc->Bitmap = StockBitmap();
    Remove(handle);
}

}  // namespace quillane::gdi_detail
