#pragma once
// The text and number conversions of the forms runtime. Texts are byte strings (UTF-8 on this
// platform); "characters" in Left and Right are bytes, which is what file names are made of.

#include <cstdint>
#include <string>
#include <string_view>

namespace quillane {

// Strips leading and trailing space characters (only ' ', not tabs or newlines).
std::string Trim(std::string_view text);

// True for a decimal number: optional sign, digits with an optional decimal point, optional
// exponent, surrounded by optional spaces. Empty text is not numeric.
bool IsNumeric(std::string_view text);

// Converts text to a 16-bit signed integer: the value taken to the nearest integer, a tie going
// to the even one. Raises Type mismatch (13) for text that is not numeric and Overflow (6) for
// a value outside -32768..32767.
std::int16_t CInt(std::string_view text);
std::int16_t CInt(double value);

// The same for a 32-bit signed integer.
std::int32_t CLng(double value);

// ASCII lower-casing; other bytes are kept as they are.
std::string LCase(std::string_view text);
inline char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The first or last n bytes of the text (all of it when it is shorter).
std::string Left(std::string_view text, std::size_t n);
std::string Right(std::string_view text, std::size_t n);

// Checked signed arithmetic: Overflow (6) when the exact result does not fit.
std::int32_t CheckedAdd32(std::int32_t a, std::int32_t b);
std::int32_t CheckedSub32(std::int32_t a, std::int32_t b);
std::int32_t CheckedMul32(std::int32_t a, std::int32_t b);

}  // namespace quillane
