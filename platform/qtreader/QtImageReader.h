#pragma once
// Qt's image reader, built as a module of its own (libquillane-qtreader.so) that the picture
// loader loads the first time a picture is neither a JPEG nor a BMP it decodes itself. A batch
// run over photographs then never loads Qt and the forty libraries behind it, which cost about
// twenty milliseconds and nine megabytes at every start. Only plain data crosses between the two.

#include <cstddef>
#include <cstdint>

namespace quillane {

// One picture as Qt's reader gave it, or why it gave none.
struct QtReaderImage {
    enum class Outcome { Read, UnknownFormat, Damaged, Refused, NoMemory };
    Outcome Result = Outcome::Damaged;
    char Why[256] = {};  // the reader's words, when the picture is damaged
    bool Bmp = false;    // the reader took the bytes for a BMP
    int Width = 0;       // the header's size; after a read, the pixels' size
    int Height = 0;
    bool Declared = false;  // after a read: the header declared a size, DeclaredWidth x Height
    int DeclaredWidth = 0;
    int DeclaredHeight = 0;
    bool HasAlpha = false;
    const std::uint32_t* Pixels = nullptr;  // after a read: 0xAARRGGBB rows, Stride bytes apart
    std::ptrdiff_t Stride = 0;
    const std::uint8_t* Icc = nullptr;  // an ICC profile the file carries (not one Qt made up)
    std::size_t IccBytes = 0;
    void* Owner = nullptr;  // what holds Pixels and Icc, until Release
};

struct QtImageReaderFunctions {
    // Makes Qt's reader plugins on the calling thread, and caps what Qt may allocate.
    void (*MakeReaders)(int maxMegabytes);
    // Format and size; decodes to learn the size when the header does not tell it.
    void (*ReadHeader)(const std::uint8_t* bytes, std::size_t size, QtReaderImage* out);
    // Decodes the picture, after `accept` agreed to the size its header declares (when it declares
    // one); Refused when it did not.
    void (*Read)(const std::uint8_t* bytes, std::size_t size,
                 bool (*accept)(void* context, int width, int height), void* context,
                 QtReaderImage* out);
    void (*Release)(QtReaderImage* image);
};

inline constexpr const char* kQtReaderModule = "libquillane-qtreader.so";
inline constexpr const char* kQtReaderEntry = "quillane_qt_image_reader";

}  // namespace quillane

extern "C" const quillane::QtImageReaderFunctions* quillane_qt_image_reader();
