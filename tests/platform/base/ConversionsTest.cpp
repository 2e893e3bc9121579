#include <gtest/gtest.h>

#include "platform/base/Conversions.h"
#include "support/FolderFixtures.h"

namespace quillane {
namespace {

using testing::ErrorOf;

TEST(Conversions, NumericTestAcceptsDecimalNumbersOnly) {
    for (const char* text : {" 176 ", "-5", "+5", ".5", "5.", "1E+3"})
        EXPECT_TRUE(IsNumeric(text)) << text;
    for (const char* text : {"", " ", "12a", "1e", ".", "-", "1 2", "1..2", "0x10"})
        EXPECT_FALSE(IsNumeric(text)) << text;
}

// Halves round to even; beyond 16 bits is overflow (6), text that is no number a mismatch (13).
TEST(Conversions, CIntRoundsHalfToEvenAndRaises) {
    const std::tuple<const char*, int, int> cases[] = {
        {" 176 ", 176, 0},     {"176.5", 176, 0},     {"177.5", 178, 0}, {"-2.5", -2, 0},
        {"32767.4", 32767, 0}, {"-32768", -32768, 0}, {"32767.5", 0, 6}, {"-32769", 0, 6},
        {"1e400", 0, 6},       {"abc", 0, 13},
    };
    for (const auto& [text, expected, error] : cases) {
        int value = 0;
        EXPECT_EQ(ErrorOf([&] { value = CInt(text); }), error) << text;
        EXPECT_EQ(value, expected) << text;
    }
}

// Text works on bytes; checked arithmetic raises overflow (6).
TEST(Conversions, TextOnBytesAndCheckedArithmetic) {
    EXPECT_EQ(Trim(" 176 ") + Trim("   ") + Trim("\t1\n"), "176\t1\n") << "only spaces trimmed";
    EXPECT_EQ(LCase("处理后A.BMP"), "处理后a.bmp");
    EXPECT_EQ(Right("scan.BMP", 4) + Right("ab", 4) + Left("scan.BMP", 4), ".BMPabscan");
    EXPECT_EQ(ErrorOf([] { CheckedMul32(65536, 32768); }), 6);
    EXPECT_EQ(ErrorOf([] { CheckedAdd32(INT32_MAX, 1); }), 6);
}

}  // namespace
}  // namespace quillane
