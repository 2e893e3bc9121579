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

    // The one message a failed save shows, and nothing else.
    void ExpectSingleMessage(const std::string& prompt) {
        ASSERT_EQ(m_messages.Messages.size(), 1u);
        EXPECT_EQ(m_messages.Messages[0].Prompt, prompt);
        EXPECT_EQ(m_messages.Messages[0].Style, vbExclamation);
        EXPECT_EQ(m_messages.Messages[0].Title, "Quillane");
    }

    testing::TempFolder m_temp;
    testing::MessageRecorder m_messages;
};

TEST_F(WriteJPGTest, EveryRowPaddingRoundTripsUpright) {
    for (const int width : {173, 174, 175, 176}) {  // padding 1, 2, 3, 0 bytes a row
        SCOPED_TRACE(::testing::Message() << "width " << width);
        cDIBSection dib;
        ASSERT_TRUE(dib.Create(width, 220));
        Paint(dib);
        const std::string name = Path("w" + std::to_string(width) + ".jpg");
        ASSERT_TRUE(WriteJPG(dib, name));
        EXPECT_TRUE(m_messages.Messages.empty());
        const test::DecodedJpeg decoded = test::DecodeJpeg(name);
        ASSERT_TRUE(decoded.Ok);
        EXPECT_LT(test::MeanError(decoded.Picture, Pattern(width, 220)), 3.0);
        EXPECT_LT(decoded.Picture.At(1, 1)[1], 30) << "top-left marker";
        EXPECT_GT(decoded.Picture.At(width - 2, 218)[1], 225) << "bottom-right marker";
    }
    EXPECT_EQ(Listing().size(), 4u);
}

TEST_F(WriteJPGTest, NamesAreWrittenUnderExactlyTheirBytes) {
    for (const std::string leaf : {"处理后测试.jpg", "\xff\xfe.jpg", "plain name.JPG"}) {
        cDIBSection dib;
        ASSERT_TRUE(dib.Create(31, 17));
        Paint(dib);
        ASSERT_TRUE(WriteJPG(dib, Path(leaf)));
        EXPECT_EQ(Listing().count(leaf), 1u);
        EXPECT_EQ(test::DecodeJpeg(Path(leaf)).Picture.Width, 31);
    }
    EXPECT_EQ(Listing().size(), 3u);
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
        m_messages.Messages.clear();
        cDIBSection dib;
        if (c.create) {
            ASSERT_TRUE(dib.Create(64, 40));
            Paint(dib);
        }
        IjlSetFaultsForTesting(c.faults);
        EXPECT_FALSE(WriteJPG(dib, c.name));
        IjlSetFaultsForTesting(IjlFaults{});
        ExpectSingleMessage("Failed to save to JPG");
        EXPECT_EQ(Listing(), std::set<std::string>{"target.jpg"});
        EXPECT_EQ(m_temp.Read("target.jpg"), old);
    }
}

TEST_F(WriteJPGTest, LibraryThatCannotStartIsReportedWithItsStatus) {
    IjlSetFaultsForTesting(IjlFaults{-1, 0, -1, 0});
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(16, 16));
    EXPECT_FALSE(WriteJPG(dib, Path("out.jpg")));
    ExpectSingleMessage("Failed to initialise the IJL library: -1");
    EXPECT_TRUE(Listing().empty());
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
    EXPECT_TRUE(m_messages.Messages.empty());
    EXPECT_TRUE(Listing().empty());
}

}  // namespace
}  // namespace quillane
