#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <set>

#include "platform/ijl/AtomicFile.h"
#include "platform/ijl/IjlTesting.h"
#include "platform/ijl/WrittenFolders.h"
#include "platform/ijl/ijl.h"
#include "support/PictureFiles.h"

namespace quillane {
namespace {

namespace fs = std::filesystem;
using test::DecodeJpeg;
using test::Pattern;

// Picture memory as the picture-memory class holds it: BGR rows padded to 4 bytes (the fill
// bytes 0xEE), the first row in memory the bottom line when bottomUp is set.
struct Picture {
    int width, height, pad;
    bool bottomUp;
    std::vector<std::uint8_t> bytes;

    Picture(int w, int h, bool up) : width(w), height(h), pad((4 - w * 3 % 4) % 4), bottomUp(up) {
        const std::ptrdiff_t stride = w * 3 + pad;
        bytes.assign(static_cast<std::size_t>(stride) * h, 0xEE);
        test::PaintBgr(Pattern(w, h), up ? BgrView{bytes.data() + (h - 1) * stride, w, h, -stride}
                                         : BgrView{bytes.data(), w, h, stride});
    }
};

class IjlTest : public ::testing::Test {
  protected:
    void TearDown() override { IjlSetFaultsForTesting(IjlFaults{}); }

    // A record readied by ijlInit and filled as the writer fills it.
    JPEG_CORE_PROPERTIES Record(Picture& picture, const std::string& name) {
        m_name = name;
        JPEG_CORE_PROPERTIES p{};
        EXPECT_EQ(ijlInit(&p), IJL_OK);
        p.DIBBytes = picture.bytes.data();
        p.DIBWidth = picture.width;
        p.DIBHeight = picture.bottomUp ? -picture.height : picture.height;
        p.DIBPadBytes = picture.pad;
        p.JPGFile = m_name.c_str();
        p.JPGWidth = picture.width;
        p.JPGHeight = picture.height;
        return p;
    }

    std::string Path(const std::string& name) const { return m_temp / name; }
    std::set<std::string> Listing() const { return m_temp.Entries(); }

    testing::TempFolder m_temp;
    fs::path m_folder{m_temp.Path()};
    std::string m_name;
};

// Every padding and both row orders come out upright, in each colour layout the file may have;
// the encoder only reads the picture.
TEST_F(IjlTest, EveryPaddingRowOrderAndColourLayout) {
    const std::tuple<int, int, bool, std::int32_t, int, int> cases[] = {
        // subsampling -1: gray
        {176, 220, true, IJL_NONE, 1, 1}, {175, 220, true, IJL_420, 2, 2},
        {174, 33, false, IJL_422, 2, 1},  {173, 17, true, -1, 1, 1},
        {1, 1, true, IJL_NONE, 1, 1},     {9, 300, false, IJL_NONE, 1, 1}};
    for (const auto& [width, height, bottomUp, subsampling, lumaH, lumaV] : cases) {
        SCOPED_TRACE(::testing::Message() << width << "x" << height << " " << subsampling);
        Picture picture(width, height, bottomUp);
        const std::vector<std::uint8_t> before = picture.bytes;
        JPEG_CORE_PROPERTIES p = Record(picture, Path("out.jpg"));
        p.JPGSubsampling = std::max(subsampling, 0);
        if (subsampling < 0) {
            p.JPGColor = IJL_G;
            p.JPGChannels = 1;
        }
        ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
        EXPECT_EQ(ijlFree(&p), IJL_OK);
        EXPECT_EQ(picture.bytes, before);
        const test::DecodedJpeg d = DecodeJpeg(Path("out.jpg"));
        ASSERT_TRUE(d.Ok);
        EXPECT_EQ(std::tuple(d.Picture.Width, d.Picture.Height, d.Components, d.LumaH, d.LumaV),
                  std::tuple(width, height, subsampling < 0 ? 1 : 3, lumaH, lumaV));
        if (width >= 16 && height >= 16) {
            EXPECT_LT(d.Picture.Rgb[0] + d.Picture.Rgb[1] + d.Picture.Rgb[2], 60) << "top-left";
            EXPECT_LT(subsampling < 0 ? 0 : test::MeanError(d.Picture, Pattern(width, height)),
                      3.0);
        }
    }
}

// Encoded into memory, a picture has the bytes its file gets, the density asked for included;
// the memory is the record's until it is freed.
TEST_F(IjlTest, MemoryHoldsTheFilesBytes) {
    Picture picture(33, 17, true);
    for (const std::int32_t dpi : {0, 300, 65535}) {
        JPEG_CORE_PROPERTIES p = Record(picture, Path("file.jpg"));
        p.JPGDotsPerInch = dpi;
        p.jquality = 37;
        ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
        ASSERT_EQ(ijlWrite(&p, IJL_JBUFF_WRITEWHOLEIMAGE), IJL_OK);
        const test::Bytes memory(p.JPGBytes, p.JPGBytes + p.JPGSizeBytes);
        EXPECT_EQ(memory, test::ReadBytes(Path("file.jpg")));
        // JFIF: the unit (1, dots per inch; 0, none) and both densities (1 without a unit).
        const int unit = memory.at(13), x = memory[14] << 8 | memory[15];
        const int y = memory[16] << 8 | memory[17];
        EXPECT_EQ(std::tuple(unit, x, y), dpi ? std::tuple(1, dpi, dpi) : std::tuple(0, 1, 1));
        EXPECT_EQ(ijlFree(&p), IJL_OK);
        EXPECT_TRUE(p.JPGBytes == nullptr && p.JPGSizeBytes == 0);
    }
}

// Each invalid or freed record is refused with its own status and writes nothing.
TEST_F(IjlTest, InvalidRecordsAreRefusedAndWriteNothing) {
    using Change = std::function<void(JPEG_CORE_PROPERTIES&)>;
    const std::string folderName = Path("sub") + "/";
    const std::tuple<const char*, Change, IJLERR> cases[] = {
        {"never initialised", [](auto& p) { p.jprops = IJL_WORKING_STATE{}; }, IJL_NOT_INITIALISED},
        {"unknown operation (7)", [](auto&) {}, IJL_UNSUPPORTED_OPERATION},
        {"no pixels", [](auto& p) { p.DIBBytes = nullptr; }, IJL_NULL_POINTER},
        {"zero width", [](auto& p) { p.DIBWidth = p.JPGWidth = 0; }, IJL_BAD_SIZE},
        {"zero height", [](auto& p) { p.DIBHeight = p.JPGHeight = 0; }, IJL_BAD_SIZE},
        {"height INT_MIN", [](auto& p) { p.DIBHeight = INT_MIN; }, IJL_BAD_SIZE},
        {"width over libjpeg's limit", [](auto& p) { p.DIBWidth = p.JPGWidth = 65504; },
         IJL_BAD_SIZE},
        {"JPG width differs", [](auto& p) { p.JPGWidth += 1; }, IJL_SIZE_MISMATCH},
        {"JPG height differs", [](auto& p) { p.JPGHeight = p.DIBHeight; }, IJL_SIZE_MISMATCH},
        {"padding off by one", [](auto& p) { p.DIBPadBytes = 2; }, IJL_INVALID_PADDING},
        {"quality 0", [](auto& p) { p.jquality = 0; }, IJL_INVALID_QUALITY},
        {"quality 101", [](auto& p) { p.jquality = 101; }, IJL_INVALID_QUALITY},
        {"density 65536", [](auto& p) { p.JPGDotsPerInch = 65536; }, IJL_INVALID_DENSITY},
        {"four DIB channels", [](auto& p) { p.DIBChannels = 4; }, IJL_UNSUPPORTED_COLOR},
        {"JPG in RGB", [](auto& p) { p.JPGColor = IJL_RGB; }, IJL_UNSUPPORTED_COLOR},
        {"unknown subsampling", [](auto& p) { p.JPGSubsampling = 9; }, IJL_UNSUPPORTED_COLOR},
        {"no file name", [](auto& p) { p.JPGFile = nullptr; }, IJL_INVALID_FILENAME},
        {"folder name", [&](auto& p) { p.JPGFile = folderName.c_str(); }, IJL_INVALID_FILENAME},
        {"parent folder", [](auto& p) { p.JPGFile = ".."; }, IJL_INVALID_FILENAME},
    };
    std::set<IJLERR> kinds;  // every kind of fault has a status of its own, for callers to tell
    for (const auto& [what, change, status] : cases) {
        SCOPED_TRACE(what);
        Picture picture(175, 20, true);  // padding 3
        JPEG_CORE_PROPERTIES p = Record(picture, Path("bad.jpg"));
        const IJL_WORKING_STATE state = p.jprops;
        change(p);
        const bool unknownOperation = status == IJL_UNSUPPORTED_OPERATION;
        EXPECT_EQ(ijlWrite(&p, unknownOperation ? 7 : IJL_JFILE_WRITEWHOLEIMAGE), status);
        EXPECT_TRUE(Listing().empty());
        p.jprops = state;
        EXPECT_EQ(ijlFree(&p), IJL_OK);
        EXPECT_EQ(ijlFree(&p), IJL_NOT_INITIALISED) << "freed twice";
        kinds.insert(status);
    }
    EXPECT_EQ(kinds.size(), 10u);
    const std::int32_t none = IJL_INVALID_JPEG_PROPERTIES;
    EXPECT_EQ(std::tuple(ijlInit(nullptr), ijlWrite(nullptr, IJL_JFILE_WRITEWHOLEIMAGE),
                         ijlFree(nullptr)),
              std::tuple(none, none, none));
    // An init that fails hands back the status it was given and leaves nothing to free.
    IjlSetFaultsForTesting(IjlFaults{-1, 0, -1, 0});
    JPEG_CORE_PROPERTIES failed{};
    EXPECT_EQ(ijlInit(&failed), -1);
    EXPECT_EQ(ijlFree(&failed), IJL_NOT_INITIALISED);
}

// A file's folder is flushed once, at the end of a run, and only when the file was put in place;
// a folder whose flush fails is named with the error.
TEST_F(IjlTest, FoldersOfFinishedFilesAreFlushedOnce) {
    FlushWrittenFolders();  // what other tests wrote
    fs::create_directory(m_folder / "sub");
    for (const int syncErrno : {0, EIO}) {
        for (const auto& [name, createErrno] :
             {std::pair{"a", 0}, {"sub/b", 0}, {"sub/c", 0}, {"d", EACCES}}) {
            IjlSetFaultsForTesting(IjlFaults{0, createErrno, -1, 0});
            AtomicFile file;
            if (file.Open(Path(name)) == 0) {
                ASSERT_EQ(file.Commit(), 0);
            }
        }
        IjlSetFaultsForTesting(IjlFaults{.FolderSyncErrno = syncErrno});
        const FolderFlush flush = FlushWrittenFolders();
        EXPECT_EQ(flush.Flushed, syncErrno ? 0u : 2u);
        const std::vector<UnflushedFolder> failed = {{Path(""), EIO}, {Path("sub/"), EIO}};
        EXPECT_EQ(flush.Failed, syncErrno ? failed : std::vector<UnflushedFolder>{});
        EXPECT_EQ(FlushWrittenFolders().Flushed, 0u);
    }
}

// A failed write leaves nothing behind and the old file intact, and the same record works again
// once the disk recovers. New files follow the umask and replaced ones keep their permissions.
// Where the file system has unnamed files, a file being written has no name at all, so a process
// killed meanwhile leaves nothing; elsewhere only the hidden temporary file shows.
TEST_F(IjlTest, FailuresPermissionsAndWhatShowsWhileAFileIsWritten) {
    // Noise makes a file of several output buffers, so a failure lands after the first flush.
    Picture noise(400, 300, true);
    std::uint32_t x = 12345;
    for (auto& byte : noise.bytes)
        byte = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    const std::tuple<const char*, IjlFaults, bool> cases[] = {
        // the target exists
        {"disk full after 70000 bytes", {0, 0, 70000, 0}, true},
        {"folder refuses new files", {0, EACCES, -1, 0}, true},
        {"rename refused, no old file", {0, 0, -1, EXDEV}, false},
        {"the data cannot be flushed", {0, 0, -1, 0, EIO}, true},
    };
    const std::string old = "old picture bytes, which must survive\n";
    const fs::perms rw = fs::perms::owner_read | fs::perms::owner_write;
    for (const bool named : {false, true}) {  // an unnamed file, or the hidden temporary file
        SCOPED_TRACE(named ? "named temporary" : "unnamed file");
        IjlFaults faults;
        faults.NoUnnamedFiles = named;
        const std::size_t there = Listing().size();
        for (const auto& [what, fault, targetExists] : cases) {
            SCOPED_TRACE(what);
            if (targetExists) m_temp.File("target.jpg", old);
            JPEG_CORE_PROPERTIES p = Record(noise, Path("target.jpg"));
            IjlFaults failing = fault;
            failing.NoUnnamedFiles = named;
            IjlSetFaultsForTesting(failing);
            EXPECT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_FILE_ERROR);
            IjlSetFaultsForTesting(faults);
            EXPECT_EQ(Listing().size(), there + targetExists);
            EXPECT_EQ(targetExists ? m_temp.Read("target.jpg") : old, old);
            ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
            EXPECT_TRUE(DecodeJpeg(Path("target.jpg")).Ok);
            EXPECT_EQ(Listing().size(), there + 1);
            ijlFree(&p);
            fs::remove(m_folder / "target.jpg");
        }
        for (const char* content : {"new", "replacing"}) {  // the target is new, then replaced
            if (!named && !testing::UnnamedFilesWork(m_temp.Path())) break;
            AtomicFile file;
            ASSERT_EQ(file.Open(Path("out.jpg")), 0);
            ASSERT_EQ(file.Write(content, std::strlen(content)), 0);
            EXPECT_EQ(Listing().size(), there + named + (content[0] == 'r'));
            EXPECT_EQ(file.Commit(), 0);
            EXPECT_EQ(Listing().size(), there + 1);
            EXPECT_EQ(m_temp.Read("out.jpg"), content);
        }
        fs::remove(m_folder / "out.jpg");
        const mode_t previous = umask(027);
        JPEG_CORE_PROPERTIES p = Record(noise, Path(named ? "new2.jpg" : "new.jpg"));
        ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
        umask(previous);
        EXPECT_EQ(fs::status(m_name).permissions(), rw | fs::perms::group_read);
        m_temp.File("kept.jpg", "old");
        fs::permissions(m_folder / "kept.jpg", rw | fs::perms::others_read);
        m_name = Path("kept.jpg");
        p.JPGFile = m_name.c_str();
        ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
        ijlFree(&p);
        EXPECT_EQ(fs::status(m_name).permissions(), rw | fs::perms::others_read);
        EXPECT_TRUE(DecodeJpeg(m_name).Ok);
    }
    EXPECT_EQ(Listing(), (std::set<std::string>{"kept.jpg", "new.jpg", "new2.jpg"}));
}

}  // namespace
}  // namespace quillane
