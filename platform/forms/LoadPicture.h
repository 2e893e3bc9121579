#pragma once
// The forms runtime's picture loader: LoadPicture(path) gives a picture object for a JPEG, BMP or
// any other picture the loader recognises by content. The object knows its size at once; its
// pixels are decoded only when it is painted (at the size it is painted at) or when its bitmap
// handle is asked for (at full size).

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/RuntimeError.h"
#include "platform/gdi/StdPicture.h"
#include "platform/picture/PictureFile.h"
#include "platform/raster/BgrImage.h"

namespace quillane {

class FilePicture : public StdPicture {
  public:
    explicit FilePicture(std::unique_ptr<PictureFile> file);
    ~FilePicture() override;

    // Decodes the whole picture into a bitmap on first use.
    std::int32_t Handle() override;
    int PixelWidth() const override { return m_file->Width(); }
    int PixelHeight() const override { return m_file->Height(); }

    // Decoded for the paint size (see PictureFile::DecodeView); may borrow from the file.
    DecodedPixels PixelsForPaint(int paintWidth, int paintHeight) override;

    // Always made apart (see PictureFile::DecodeStretched), or what was painted ahead for that
    // size.
    std::optional<BgrImage> PaintWhole(int width, int height) override;

    // The picture (or the error) painted ahead at a size; used once, by the first paint of the
    // whole picture at exactly that size.
    void SetPaintedAhead(BgrImage painted, std::optional<RuntimeError> error, int width,
                         int height);

  private:
    std::unique_ptr<PictureFile> m_file;
    std::optional<BgrImage> m_aheadPainted;
    std::optional<RuntimeError> m_aheadError;
    int m_aheadWidth = 0;
    int m_aheadHeight = 0;
    std::shared_ptr<StdPicture> m_bitmap;  // made by Handle()
};

// Loads the picture file at path. Raises the loader's run-time errors (53, 75, 481, 7).
[[nodiscard]] PictureRef LoadPicture(const std::string& path);

// Where LoadPicture looks first: a supplier of pictures loaded ahead of their turn, asked with
// the path; null when it has none for that path, and then LoadPicture loads the file itself. A
// supplier may raise the loader's errors, which LoadPicture passes on.
using PictureSupplier = std::function<PictureRef(const std::string& path)>;
// Installs the supplier (an empty one: none) and returns the one before. User-interface thread
// only.
PictureSupplier SetPictureSupplier(PictureSupplier supplier);

}  // namespace quillane
