#include <gtest/gtest.h>
#include <sys/resource.h>

#include <climits>
#include <csignal>

#include "imaging/cDIBSection.h"
#include "jpeg/mJPEGLibrary.h"
#include "platform/ijl/IjlTesting.h"
#include "support/FolderFixtures.h"
#include "support/PictureFiles.h"

namespace quillane {
namespace {

using test::Pattern;

// A picture memory of the size holding the test pattern, stored the way the picture memory
// stores it: the bottom line first.
void Paint(cDIBSection& dib, int width, int height) {
    ASSERT_TRUE(dib.Create(width, height));
    const int stride = dib.BytesPerScanLine();
    test::PaintBgr(Pattern(width, height),
                   BgrView{dib.DIBSectionBitsPtr() + std::ptrdiff_t(height - 1) * stride, width,
                           height, -stride});
}

// Each width gives another row padding (1, 2, 3, 0 bytes); each name is used byte for byte.
TEST(WriteJPG, EveryRowPaddingRoundTripsUprightUnderItsExactName) {
    testing::TempFolder temp;
    testing::MessageRecorder messages;
    std::set<std::string> names;
    for (const auto& [width, leaf] : {std::pair<int, std::string>{173, "w173.jpg"},
                                      {174, "处理后测试.jpg"},
                                      {175, "\xff\xfe.jpg"},
                                      {176, "plain name.JPG"}}) {
        SCOPED_TRACE(width);
        cDIBSection dib;
        Paint(dib, width, 220);
        ASSERT_TRUE(WriteJPG(dib, temp / leaf));
        const test::DecodedJpeg decoded = test::DecodeJpeg(temp / leaf);
        ASSERT_TRUE(decoded.Ok);
        EXPECT_LT(test::MeanError(decoded.Picture, Pattern(width, 220)), 3.0);
        EXPECT_LT(decoded.Picture.At(1, 1)[1], 30) << "top-left marker";
        EXPECT_GT(decoded.Picture.At(width - 2, 218)[1], 225) << "bottom-right marker";
        names.insert(leaf);
    }
    EXPECT_EQ(temp.Entries(), names);
    EXPECT_TRUE(messages.Messages.empty());
}

// Every failed save shows one message and leaves the folder as it was, an earlier file under
// the name keeping every byte (the library's own test goes through each way a write fails); an
// overflow in the picture's size passes to the caller instead.
TEST(WriteJPG, FailedSavesAreReportedAndLeaveTheFolderAsItWas) {
    testing::TempFolder temp;
    testing::MessageRecorder messages;
    const std::string old(5000, 'o'), target = temp / "target.jpg";
    temp.File("target.jpg", old);
    const struct {
        const char* What;
        std::string Name;
        bool Create;  // make the picture memory (else it stays Empty)
        IjlFaults Faults;
        rlim_t FileSizeLimit = 0;  // 0: none
        std::string Message = "Failed to save to JPG";
    } cases[] = {
        {"folder does not exist", temp / "missing/out.jpg", true, {}},
        {"name with a zero byte", target + std::string(1, '\0') + "x", true, {}},
        {"Empty picture memory", target, false, {}},
        {"folder refuses new files", target, true, {.CreateErrno = EACCES}},
        {"disk full mid-file", target, true, {.WriteBytesBeforeFailure = 300}},
        {"file size limit", target, true, {}, 256},
        {"library cannot start",
         target,
         true,
         {.InitStatus = -1},
         0,
         "Failed to initialise the IJL library: -1"},
    };
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);  // else the process is killed, not told
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        messages.Messages.clear();
        cDIBSection dib;
        if (c.Create) Paint(dib, 64, 40);
        rlimit limit = saved;
        if (c.FileSizeLimit) limit.rlim_cur = c.FileSizeLimit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        IjlSetFaultsForTesting(c.Faults);
        EXPECT_FALSE(WriteJPG(dib, c.Name));
        IjlSetFaultsForTesting(IjlFaults{});
        setrlimit(RLIMIT_FSIZE, &saved);
        ASSERT_EQ(messages.Messages.size(), 1u) << "one message, and nothing else";
        const MessageBoxRequest& m = messages.Messages[0];
        EXPECT_EQ(std::tuple(m.Prompt, m.Style, m.Title),
                  std::tuple(c.Message, int(vbExclamation), std::string("Quillane")));
        EXPECT_EQ(temp.Entries(), std::set<std::string>{"target.jpg"});
        EXPECT_EQ(temp.Read("target.jpg"), old);
    }
    std::signal(SIGXFSZ, handler);
    // A failed Create keeps the size asked for, so the height cannot be negated in 32 bits.
    messages.Messages.clear();
    cDIBSection dib;
    (void)testing::ErrorOf([&] { dib.Create(1, INT_MIN); });
    ASSERT_EQ(dib.height(), INT_MIN);
    EXPECT_EQ(testing::ErrorOf([&] { WriteJPG(dib, temp / "out.jpg"); }), 6);
    EXPECT_TRUE(messages.Messages.empty());
    EXPECT_EQ(temp.Entries(), std::set<std::string>{"target.jpg"});
}

}  // namespace
}  // namespace quillane
