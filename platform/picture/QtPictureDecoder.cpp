// Qt's reader lives in a module of its own (platform/qtreader), loaded by the first picture that
// needs it; this file finds and loads it, bounds what it may allocate and turns its result into
// BGR.

#include "platform/picture/QtPictureDecoder.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>

#include "platform/picture/colour/ColourTransform.h"
#include "platform/qtreader/QtImageReader.h"

namespace quillane {
namespace {

std::mutex g_loading;
std::atomic<const QtImageReaderFunctions*> g_readers{nullptr};
std::string g_missing;  // why the module could not be loaded, once it could not
thread_local bool t_barred = false;

// The folder of the running program.
std::string ProgramFolder() {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return {};
    path.resize(static_cast<std::size_t>(length));
    return path.substr(0, path.rfind('/'));
}

// Where the module is: beside the program (a build tree), one folder up (the tests' and the
// bench's programs), and where installing puts it, relative to the program's bin folder.
const QtImageReaderFunctions* LoadModule(std::string& missing) {
    const std::string folder = ProgramFolder();
    std::string tried;
    for (const std::string& place :
         {folder, folder + "/..", folder + "/../" + QUILLANE_MODULE_FOLDER}) {
        const std::string path = place + "/" + kQtReaderModule;
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            if (access(path.c_str(), F_OK) == 0) tried = dlerror();
            continue;
        }
        using Entry = const QtImageReaderFunctions* (*)();
        if (auto entry = reinterpret_cast<Entry>(dlsym(module, kQtReaderEntry))) return entry();
        tried = path + " has no " + kQtReaderEntry;
    }
    missing = tried.empty() ? std::string(kQtReaderModule) + " is not installed" : tried;
    return nullptr;
}

// Qt's reader, loaded and its plugins made on first use; null, and why in g_missing, when the
// module cannot be had.
const QtImageReaderFunctions* Readers() {
    if (const QtImageReaderFunctions* readers = g_readers.load(std::memory_order_acquire)) {
        return readers;
    }
    if (t_barred) throw QtReadersNotReadyHere();
    std::lock_guard lock(g_loading);
    if (const QtImageReaderFunctions* readers = g_readers.load(std::memory_order_relaxed)) {
        return readers;
    }
    if (!g_missing.empty()) return nullptr;
    const QtImageReaderFunctions* readers = LoadModule(g_missing);
    if (readers == nullptr) return nullptr;
    readers->MakeReaders(static_cast<int>(kMaxBufferBytes >> 20));
    g_readers.store(readers, std::memory_order_release);
    return readers;
}

PictureFailure Unknown() {
    return {ErrorNumber::InvalidPicture, "is not a JPEG or BMP picture (unknown format)"};
}

PictureFailure Missing() {
    return {ErrorNumber::InvalidPicture,
            "is not a JPEG or BMP picture this program reads itself, and the reader of other "
            "formats cannot be loaded (" +
                g_missing + ")"};
}

PictureFailure Damaged(const QtReaderImage& image) {
    return {ErrorNumber::InvalidPicture,
            "is damaged (" + (image.Why[0] ? std::string(image.Why) : "unreadable") + ")"};
}

// A read picture, released whatever happens to the result.
struct Held {
    const QtImageReaderFunctions& Readers;
    QtReaderImage Image;
    ~Held() {
        if (Image.Owner) Readers.Release(&Image);
    }
};

std::uint8_t OverWhite(unsigned colour, unsigned alpha) {
    return static_cast<std::uint8_t>((colour * alpha + 255 * (255 - alpha) + 127) / 255);
}

// Copies a 32-bit Qt picture into BGR, compositing over white where the alpha is meant.
void CopyToBgr(const QtReaderImage& image, bool blend, BgrView out) {
    for (int y = 0; y < out.Height; ++y) {
        const std::uint32_t* in = reinterpret_cast<const std::uint32_t*>(
            reinterpret_cast<const std::uint8_t*>(image.Pixels) + y * image.Stride);
        std::uint8_t* px = out.Row(y);
        for (int x = 0; x < out.Width; ++x, px += 3) {
            const std::uint32_t p = in[x];
            const unsigned a = blend ? p >> 24 : 255;
            px[0] = OverWhite(p & 0xFF, a);
            px[1] = OverWhite((p >> 8) & 0xFF, a);
            px[2] = OverWhite((p >> 16) & 0xFF, a);
        }
    }
}

// The loader's own caps on the size a header declares, asked before Qt allocates.
struct SizeCheck {
    std::optional<PictureFailure> Failure;
    static bool Accept(void* context, int width, int height) {
        auto* check = static_cast<SizeCheck*>(context);
        check->Failure = CheckPictureSize(width, height);
        if (!check->Failure) check->Failure = CheckBufferSize(width, height, 4);
        return !check->Failure;
    }
};

}  // namespace

void LoadQtReaders() {
    (void)Readers();
}

bool QtLibrariesLoaded() {
    return dlopen("libQt6Gui.so.6", RTLD_NOW | RTLD_NOLOAD) != nullptr;
}

void BarQtReadersOnThisThread() {
    t_barred = true;
}

PictureResult<QtHeader> ReadQtHeader(std::span<const std::uint8_t> bytes) {
    const QtImageReaderFunctions* readers = Readers();
    if (readers == nullptr) return Missing();
    Held read{*readers, {}};
    readers->ReadHeader(bytes.data(), bytes.size(), &read.Image);
    if (read.Image.Result == QtReaderImage::Outcome::UnknownFormat) return Unknown();
    if (read.Image.Result != QtReaderImage::Outcome::Read) return Damaged(read.Image);
    return QtHeader{read.Image.Width, read.Image.Height, read.Image.Bmp};
}

PictureResult<BgrImage> DecodeWithQt(std::span<const std::uint8_t> bytes, bool ignoreAlpha) {
    const QtImageReaderFunctions* readers = Readers();
    if (readers == nullptr) return Missing();
    Held read{*readers, {}};
    SizeCheck declared;
    readers->Read(bytes.data(), bytes.size(), SizeCheck::Accept, &declared, &read.Image);
    const QtReaderImage& image = read.Image;
    switch (image.Result) {
        case QtReaderImage::Outcome::Read:
            break;
        case QtReaderImage::Outcome::UnknownFormat:
            return Unknown();
        case QtReaderImage::Outcome::Refused:
            return *declared.Failure;
        case QtReaderImage::Outcome::NoMemory:
            return PictureFailure{ErrorNumber::OutOfMemory, "needs more memory than allowed"};
        case QtReaderImage::Outcome::Damaged:
            return Damaged(image);
    }
    if (auto failure = CheckPictureSize(image.Width, image.Height)) return *failure;
    // The header's size is the one the picture was opened, measured and laid out with. A file
    // whose pixels come out at another size (a GIF whose screen and first frame disagree) would
    // be painted from the wrong rectangle, so it is not trusted.
    if (image.Declared &&
        (image.DeclaredWidth != image.Width || image.DeclaredHeight != image.Height)) {
        return PictureFailure{ErrorNumber::InvalidPicture,
                              "is damaged (its header says " + std::to_string(image.DeclaredWidth) +
                                  " x " + std::to_string(image.DeclaredHeight) +
                                  " pixels, its data " + std::to_string(image.Width) + " x " +
                                  std::to_string(image.Height) + ")"};
    }

    // A BMP's fourth byte is, in practice, unused and often 0: Windows shows such a picture
    // opaque, so it is ignored there. Elsewhere (PNG, GIF) transparency is real and a viewer
    // shows it on a white page.
    const bool blend = image.HasAlpha && !ignoreAlpha;
    auto picture = AllocatePicture(image.Width, image.Height);
    if (!picture.Ok()) return picture;
    CopyToBgr(image, blend, picture.Value().View());
    // Qt's BMP reader knows no profile; PictureFile reads a BMP's own.
    if (image.IccBytes > 0) {
        if (auto transform = TransformToSrgb({image.Icc, image.IccBytes}, PixelLayout::Bgr)) {
            ConvertToSrgb(*transform, picture.Value().View());
        }
    }
    return picture;
}

}  // namespace quillane
