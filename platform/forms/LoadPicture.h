#pragma once
// The forms runtime's picture loader: LoadPicture(path) gives a picture object for a JPEG, BMP or
// any other picture the loader recognises by content. The object knows its size at once; its
// pixels are decoded only when it is painted (at the size it is painted at) or when its bitmap
// handle is asked for (at full size).

#include <memory>
#include <string>

#include "platform/StdPicture.h"
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

    // Pixels to paint from when the picture is painted at paintWidth x paintHeight pixels: the
    // picture upright, at full size or shrunk on load where that keeps enough detail.
    [[nodiscard]] BgrImage DecodeForPaint(int paintWidth, int paintHeight) const;

  private:
    std::unique_ptr<PictureFile> m_file;
    std::shared_ptr<StdPicture> m_bitmap;  // made by Handle()
};

// Loads the picture file at path. Raises the loader's run-time errors (53, 75, 481, 7).
[[nodiscard]] PictureRef LoadPicture(const std::string& path);

}  // namespace quillane
