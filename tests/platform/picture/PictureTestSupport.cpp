#include "platform/picture/PictureTestSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace quillane::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillane-pic-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

bool HaveTool(const char* name) {
    return Shell(std::string("command -v ") + name + " >/dev/null 2>&1");
}

bool Shell(const std::string& command) {
    return std::system((command + " 2>/dev/null").c_str()) == 0;
}

std::string Quote(const std::string& path) {
    return "'" + path + "'";
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

RgbPicture ReadPpm(const std::string& path) {
    const Bytes bytes = ReadBytes(path);
    std::string text(bytes.begin(), bytes.end());
    std::istringstream header(text);
    std::string magic;
    int maxValue = 0;
    RgbPicture picture;
    header >> magic >> picture.Width >> picture.Height >> maxValue;
    if ((magic != "P6" && magic != "P5") || maxValue != 255) return {};
    const std::size_t start = std::size_t(header.tellg()) + 1;  // one whitespace byte
    const std::size_t pixels = std::size_t(picture.Width) * picture.Height;
    const int channels = magic == "P6" ? 3 : 1;
    if (bytes.size() < start + pixels * channels) return {};
    for (std::size_t i = 0; i < pixels; ++i) {
        for (int c = 0; c < 3; ++c) {
            picture.Rgb.push_back(bytes[start + i * channels + (channels == 3 ? c : 0)]);
        }
    }
    return picture;
}

void WritePpm(const std::string& path, const RgbPicture& picture) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << picture.Width << ' ' << picture.Height << "\n255\n";
    out.write(reinterpret_cast<const char*>(picture.Rgb.data()),
              std::streamsize(picture.Rgb.size()));
}

RgbPicture DecodeWithImageMagick(const std::string& path) {
    const std::string ppm = path + ".reference.ppm";
    if (!Shell("convert " + Quote(path) + " -colorspace sRGB -depth 8 ppm:" + Quote(ppm)))
        return {};
    return ReadPpm(ppm);
}

double MeanError(const BgrImage& image, const RgbPicture& reference) {
    if (image.Width() != reference.Width || image.Height() != reference.Height) return 1e9;
    double total = 0;
    for (int y = 0; y < image.Height(); ++y) {
        const std::uint8_t* row = image.View().Row(y);
        for (int x = 0; x < image.Width(); ++x) {
            const std::uint8_t* rgb = reference.At(x, y);
            for (int c = 0; c < 3; ++c) total += std::abs(row[x * 3 + 2 - c] - rgb[c]);
        }
    }
    return total / (3.0 * image.Width() * image.Height());
}

std::string FirstDifference(const BgrImage& image, const RgbPicture& reference) {
    if (image.Width() != reference.Width || image.Height() != reference.Height) {
        return "size " + std::to_string(image.Width()) + "x" + std::to_string(image.Height()) +
               " instead of " + std::to_string(reference.Width) + "x" +
               std::to_string(reference.Height);
    }
    for (int y = 0; y < image.Height(); ++y) {
        const std::uint8_t* row = image.View().Row(y);
        for (int x = 0; x < image.Width(); ++x) {
            const std::uint8_t* rgb = reference.At(x, y);
            if (row[x * 3 + 2] != rgb[0] || row[x * 3 + 1] != rgb[1] || row[x * 3] != rgb[2]) {
                std::ostringstream where;
                where << "pixels differ at column " << x << ", row " << y << ": got rgb("
                      << int(row[x * 3 + 2]) << "," << int(row[x * 3 + 1]) << "," << int(row[x * 3])
                      << ") want rgb(" << int(rgb[0]) << "," << int(rgb[1]) << "," << int(rgb[2])
                      << ")";
                return where.str();
            }
        }
    }
    return {};
}

Raised RaisedBy(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& error) {
        return {error.Number(), error.Description()};
    }
    return {};
}

}  // namespace quillane::test
