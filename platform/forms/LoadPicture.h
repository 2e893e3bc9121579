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

    // A part of the picture (upright pixels) stretched to exactly width x height pixels (see
    // PictureFile::DecodeStretched), or what was painted ahead for that part and size.
    std::optional<BgrImage> PaintRegion(const SourceArea& area, int width, int height) override;

    // The part of the picture (or the error) painted ahead at a size; used once, by the first
    // paint of exactly that part at exactly that size.
    void SetPaintedAhead(BgrImage painted, std::optional<RuntimeError> error,
                         const SourceArea& area, int width, int height);

  private:
    std::unique_ptr<PictureFile> m_file;
    std::optional<BgrImage> m_aheadPainted;
    std::optional<RuntimeError> m_aheadError;
    SourceArea m_aheadArea;
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
