#include <gtest/gtest.h>

#include <climits>

#include "imaging/cDIBSection.h"
#include "jpeg/mJPEGLibrary.h"
#include "platform/ijl/IjlTesting.h"
#include "support/PictureFiles.h"

namespace quillane {
namespace {

using test::Pattern;

// The test pattern, stored as the picture memory stores it: the bottom line first.
void Paint(cDIBSection& dib) {
    const int w = dib.Width(), h = dib.height(), stride = dib.BytesPerScanLine();
    test::PaintBgr(Pattern(w, h), BgrView{dib.DIBSectionBitsPtr() + std::ptrdiff_t(h - 1) * stride,
                                          w, h, -stride});
}

class WriteJPGTest : public ::testing::Test {
  protected:
    void TearDown() override { IjlSetFaultsForTesting(IjlFaults{}); }

    std::string Path(const std::string& name) const { return m_temp / name; }
    std::set<std::string> Listing() const { return m_temp.Entries(); }

    testing::TempFolder m_temp;
    testing::MessageRecorder m_messages;
};

// Each width gives another row padding (1, 2, 3, 0 bytes); each name must be used byte for byte.
TEST_F(WriteJPGTest, EveryRowPaddingRoundTripsUprightUnderItsExactName) {
    struct Case {
        int width;
        std::string leaf;
    };
    for (const Case& c : {Case{173, "w173.jpg"}, Case{174, "处理后测试.jpg"},
                          Case{175, "\xff\xfe.jpg"}, Case{176, "plain name.JPG"}}) {
        SCOPED_TRACE(::testing::Message() << "width " << c.width);
        cDIBSection dib;
        ASSERT_TRUE(dib.Create(c.width, 220));
        Paint(dib);
        ASSERT_TRUE(WriteJPG(dib, Path(c.leaf)));
        EXPECT_EQ(Listing().count(c.leaf), 1u);
        const test::DecodedJpeg decoded = test::DecodeJpeg(Path(c.leaf));
        ASSERT_TRUE(decoded.Ok);
        EXPECT_LT(test::MeanError(decoded.Picture, Pattern(c.width, 220)), 3.0);
        EXPECT_LT(decoded.Picture.At(1, 1)[1], 30) << "top-left marker";
        EXPECT_GT(decoded.Picture.At(c.width - 2, 218)[1], 225) << "bottom-right marker";
    }
    EXPECT_EQ(Listing().size(), 4u);
    EXPECT_TRUE(m_messages.Messages.empty());
}

TEST_F(WriteJPGTest, FailedSavesAreReportedAndLeaveTheFolderAsItWas) {
    const std::string old = "earlier output\n";
    m_temp.File("target.jpg", old);
    struct Case {
        const char* what;
        std::string name;
        bool create;  // make the picture memory (else it stays Empty)
        IjlFaults faults;
        std::string message = "Failed to save to JPG";
    };
    const Case cases[] = {
        {"folder does not exist", Path("missing/out.jpg"), true, {}},
        {"empty name", "", true, {}},
        {"name with a zero byte", Path("target.jpg") + std::string(1, '\0') + "x", true, {}},
        {"Empty picture memory", Path("target.jpg"), false, {}},
        {"folder refuses new files", Path("target.jpg"), true, {0, EACCES, -1, 0}},
        {"disk full mid-file", Path("target.jpg"), true, {0, 0, 300, 0}},
        {"rename refused", Path("target.jpg"), true, {0, 0, -1, EIO}},
        {"library cannot start",
         Path("target.jpg"),
         true,
         {-1, 0, -1, 0},
         "Failed to initialise the IJL library: -1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_messages.Messages.clear();
        cDIBSection dib;
        if (c.create) {
            ASSERT_TRUE(dib.Create(64, 40));
            Paint(dib);
        }
        IjlSetFaultsForTesting(c.faults);
        EXPECT_FALSE(WriteJPG(dib, c.name));
        IjlSetFaultsForTesting(IjlFaults{});
        ASSERT_EQ(m_messages.Messages.size(), 1u) << "one message, and nothing else";
        EXPECT_EQ(m_messages.Messages[0].Prompt, c.message);
        EXPECT_EQ(m_messages.Messages[0].Style, vbExclamation);
        EXPECT_EQ(m_messages.Messages[0].Title, "Quillane");
        EXPECT_EQ(Listing(), std::set<std::string>{"target.jpg"});
        EXPECT_EQ(m_temp.Read("target.jpg"), old);
    }
}

TEST_F(WriteJPGTest, OverflowInThePictureSizePassesToTheCaller) {
    // A failed Create keeps the size asked for, so the height cannot be negated in 32 bits.
    cDIBSection dib;
    (void)testing::ErrorOf([&] { dib.Create(1, INT_MIN); });
    ASSERT_EQ(dib.height(), INT_MIN);
    EXPECT_EQ(testing::ErrorOf([&] { WriteJPG(dib, Path("out.jpg")); }), 6);
    EXPECT_TRUE(m_messages.Messages.empty());
    EXPECT_TRUE(Listing().empty());
}

}  // namespace
}  // namespace quillane
