#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "imaging/cDIBSection.h"
#include "jpeg/mJPEGLibrary.h"
#include "platform/MessageBox.h"
#include "platform/RuntimeError.h"
#include "platform/ijl/IjlTesting.h"

namespace quillane {
namespace {

namespace fs = std::filesystem;

struct Rgb {
    int r, g, b;
};

// Smooth ramps along both axes, a black block at the top-left and a white one at the
// bottom-right: rows out of place, a flip or a mirror all show.
Rgb Expected(int x, int y, int width, int height) {
    if (x < 4 && y < 4) return {0, 0, 0};
    if (x >= width - 4 && y >= height - 4) return {255, 255, 255};
    return {30 + 190 * x / width, 30 + 190 * y / height, 220 - 150 * (x + y) / (width + height)};
}

void Paint(cDIBSection& dib) {
    const int w = dib.Width(), h = dib.height();
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = dib.DIBSectionBitsPtr() +
                            static_cast<std::ptrdiff_t>(h - 1 - y) * dib.BytesPerScanLine();
        for (int x = 0; x < w; ++x) {
            const Rgb c = Expected(x, y, w, h);
            row[3 * x] = static_cast<std::uint8_t>(c.b);
            row[3 * x + 1] = static_cast<std::uint8_t>(c.g);
            row[3 * x + 2] = static_cast<std::uint8_t>(c.r);
        }
    }
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Decodes with Qt's JPEG reader, from the file's bytes (the name may not be valid UTF-8).
QImage Decode(const fs::path& path) {
    const std::string bytes = ReadBytes(path);
    QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer, "jpeg");
    return reader.read().convertToFormat(QImage::Format_RGB888);
}

double MeanError(const QImage& image, std::string* where) {
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* p = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x, p += 3) {
            const Rgb e = Expected(x, y, image.width(), image.height());
            const int err = std::abs(p[0] - e.r) + std::abs(p[1] - e.g) + std::abs(p[2] - e.b);
            sum += err;
            if (err > 60 && where->empty()) {
                *where = "large difference at x=" + std::to_string(x) + " y=" + std::to_string(y);
            }
        }
    }
    return sum / (3.0 * image.width() * image.height());
}

std::set<std::string> Listing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().native());
    return names;
}

class WriteJPGTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "writejpg-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
        m_previous =
            SetMessageBoxPresenter([this](const MessageBoxRequest& r) { m_messages.push_back(r); });
    }
    void TearDown() override {
        SetMessageBoxPresenter(m_previous);
        IjlSetFaultsForTesting(IjlFaults{});
        fs::permissions(m_folder, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(m_folder);
    }

    std::string Path(const std::string& name) const { return (m_folder / name).native(); }

    // The one message a failed save shows, and nothing else.
    void ExpectSingleMessage(const std::string& prompt) {
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(m_messages[0].Prompt, prompt);
        EXPECT_EQ(m_messages[0].Style, vbExclamation);
        EXPECT_EQ(m_messages[0].Title, "Quillane");
    }

    fs::path m_folder;
    MessageBoxPresenter m_previous;
    std::vector<MessageBoxRequest> m_messages;
};

TEST_F(WriteJPGTest, EveryRowPaddingRoundTripsUpright) {
    for (const int width : {173, 174, 175, 176}) {  // padding 1, 2, 3, 0 bytes a row
        SCOPED_TRACE(testing::Message() << "width " << width);
        cDIBSection dib;
        ASSERT_TRUE(dib.Create(width, 220));
        Paint(dib);
        const std::string name = Path("w" + std::to_string(width) + ".jpg");
        ASSERT_TRUE(WriteJPG(dib, name));
        EXPECT_TRUE(m_messages.empty());

        const QImage image = Decode(name);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width(), width);
        EXPECT_EQ(image.height(), 220);
        std::string where;
        EXPECT_LT(MeanError(image, &where), 3.0) << where;
        EXPECT_LT(qGray(image.pixel(1, 1)), 30) << "top-left marker";
        EXPECT_GT(qGray(image.pixel(width - 2, 218)), 225) << "bottom-right marker";
    }
    EXPECT_EQ(Listing(m_folder).size(), 4u);
}

TEST_F(WriteJPGTest, NamesAreWrittenUnderExactlyTheirBytes) {
    for (const std::string leaf : {"处理后测试.jpg", "\xff\xfe.jpg", "plain name.JPG"}) {
        cDIBSection dib;
        ASSERT_TRUE(dib.Create(31, 17));
        Paint(dib);
        ASSERT_TRUE(WriteJPG(dib, Path(leaf)));
        EXPECT_EQ(Listing(m_folder).count(leaf), 1u);
        EXPECT_EQ(Decode(m_folder / leaf).size(), QSize(31, 17));
    }
    EXPECT_EQ(Listing(m_folder).size(), 3u);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(WriteJPGTest, FailedSavesAreReportedAndLeaveTheFolderAsItWas) {
    const std::string old = "earlier output\n";
    std::ofstream(m_folder / "target.jpg", std::ios::binary) << old;
    struct Case {
        const char* what;
        std::string name;
        bool create;  // make the picture memory (else it stays Empty)
        IjlFaults faults;
    };
    const Case cases[] = {
        {"folder does not exist", Path("missing/out.jpg"), true, {}},
        {"empty name", "", true, {}},
        {"name with a zero byte", Path("target.jpg") + std::string(1, '\0') + "x", true, {}},
        {"Empty picture memory", Path("target.jpg"), false, {}},
        {"folder refuses new files", Path("target.jpg"), true, {0, EACCES, -1, 0}},
        {"disk full mid-file", Path("target.jpg"), true, {0, 0, 300, 0}},
        {"rename refused", Path("target.jpg"), true, {0, 0, -1, EIO}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_messages.clear();
        cDIBSection dib;
        if (c.create) {
            ASSERT_TRUE(dib.Create(64, 40));
            Paint(dib);
        }
        IjlSetFaultsForTesting(c.faults);
        EXPECT_FALSE(WriteJPG(dib, c.name));
        IjlSetFaultsForTesting(IjlFaults{});
        ExpectSingleMessage("Failed to save to JPG");
        EXPECT_EQ(Listing(m_folder), std::set<std::string>{"target.jpg"});
        EXPECT_EQ(ReadBytes(m_folder / "target.jpg"), old);
    }
}

TEST_F(WriteJPGTest, ReadOnlyFolderIsAFailedSave) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root, where folder permissions do not stop writes; the "
                        "injected creation fault in FailedSavesAreReported... covers this path";
    }
    fs::permissions(m_folder, fs::perms::owner_read | fs::perms::owner_exec);
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(16, 16));
    EXPECT_FALSE(WriteJPG(dib, Path("out.jpg")));
    ExpectSingleMessage("Failed to save to JPG");
    EXPECT_TRUE(Listing(m_folder).empty());
}

TEST_F(WriteJPGTest, LibraryThatCannotStartIsReportedWithItsStatus) {
    IjlSetFaultsForTesting(IjlFaults{-1, 0, -1, 0});
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(16, 16));
    EXPECT_FALSE(WriteJPG(dib, Path("out.jpg")));
    ExpectSingleMessage("Failed to initialise the IJL library: -1");
    EXPECT_TRUE(Listing(m_folder).empty());
}

TEST_F(WriteJPGTest, OverflowInThePictureSizePassesToTheCaller) {
    // A failed Create keeps the size asked for, so the height cannot be negated in 32 bits.
    cDIBSection dib;
    try {
        dib.Create(1, INT_MIN);
    } catch (const RuntimeError&) {
    }
    ASSERT_EQ(dib.height(), INT_MIN);
    try {
        WriteJPG(dib, Path("out.jpg"));
        ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), ErrorNumber::Overflow);
    }
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(Listing(m_folder).empty());
}

}  // namespace
}  // namespace quillane
