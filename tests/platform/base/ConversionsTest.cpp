#include <gtest/gtest.h>

#include "platform/Conversions.h"
#include "platform/MessageBox.h"
#include "platform/RuntimeError.h"

namespace quillane {
namespace {

int ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& error) {
        return error.NumberValue();
    }
    return 0;
}

TEST(Conversions, TrimRemovesSpacesOnly) {
    EXPECT_EQ(Trim(" 176 "), "176");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim("\t176\n"), "\t176\n");
}

TEST(Conversions, NumericTestAcceptsDecimalNumbersOnly) {
    for (const char* text : {"176", " 176 ", "-5", "+5", "176.5", ".5", "5.", "1e3", "1E+3"}) {
        EXPECT_TRUE(IsNumeric(text)) << text;
    }
    for (const char* text : {"", " ", "abc", "12a", "1e", ".", "-", "1 2", "1..2", "0x10"}) {
        EXPECT_FALSE(IsNumeric(text)) << text;
    }
}

TEST(Conversions, CIntRoundsHalfToEven) {
    EXPECT_EQ(CInt(" 176 "), 176);
    EXPECT_EQ(CInt("176.5"), 176);
    EXPECT_EQ(CInt("177.5"), 178);
    EXPECT_EQ(CInt("2.5"), 2);
    EXPECT_EQ(CInt("3.5"), 4);
    EXPECT_EQ(CInt("-2.5"), -2);
    EXPECT_EQ(CInt("32767.4"), 32767);
    EXPECT_EQ(CInt("-32768"), -32768);
}

TEST(Conversions, CIntRaisesOverflowAndTypeMismatch) {
    EXPECT_EQ(ErrorOf([] { CInt("40000"); }), 6);
    EXPECT_EQ(ErrorOf([] { CInt("32767.5"); }), 6);
    EXPECT_EQ(ErrorOf([] { CInt("-32769"); }), 6);
    EXPECT_EQ(ErrorOf([] { CInt("1e400"); }), 6);
    EXPECT_EQ(ErrorOf([] { CInt("abc"); }), 13);
    EXPECT_EQ(ErrorOf([] { CInt(""); }), 13);
}

TEST(Conversions, LeftRightAndLowerCaseWorkOnBytes) {
    EXPECT_EQ(LCase("Photo.JPG"), "photo.jpg");
    EXPECT_EQ(LCase("处理后A.BMP"), "处理后a.bmp");
    EXPECT_EQ(Right("scan.BMP", 4), ".BMP");
    EXPECT_EQ(Right("ab", 4), "ab");
    EXPECT_EQ(Left("scan.BMP", 4), "scan");
}

TEST(Conversions, CheckedArithmeticRaisesOverflow) {
    EXPECT_EQ(CheckedMul32(1000, 1000), 1000000);
    EXPECT_EQ(ErrorOf([] { CheckedMul32(65536, 32768); }), 6);
    EXPECT_EQ(ErrorOf([] { CheckedAdd32(INT32_MAX, 1); }), 6);
    EXPECT_EQ(ErrorOf([] { CheckedAdd16(32767, 1); }), 6);
}

TEST(MessageBoxService, PresenterReceivesTitleAndStyle) {
    std::vector<MessageBoxRequest> shown;
    auto previous = SetMessageBoxPresenter([&](const MessageBoxRequest& r) { shown.push_back(r); });
    MsgBox("must Number", vbExclamation, "Warning");
    MsgBox("Failed to save to JPG", vbExclamation);
    SetMessageBoxPresenter(previous);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].Title, "Warning");
    EXPECT_EQ(shown[0].Style, 48);
    EXPECT_EQ(shown[1].Title, "Quillane");
}

TEST(RuntimeErrors, CarryNumberAndDescription) {
    RuntimeError standard(ErrorNumber::InvalidPicture);
    EXPECT_STREQ(standard.Description(), "Invalid picture");
    RuntimeError own(ErrorNumber::FileNotFound, "File not found: a.jpg");
    EXPECT_EQ(own.NumberValue(), 53);
    EXPECT_STREQ(own.Description(), "File not found: a.jpg");
}

}  // namespace
}  // namespace quillane
