#include "platform/base/Conversions.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale>
#include <sstream>

#include "platform/base/RuntimeError.h"

namespace quillane {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Parses the whole of an already trimmed text as a decimal number, independent of the locale.
bool ParseDecimal(std::string_view text, double& value) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t exponentDigits = 0;
        while (i < text.size() && IsDigit(text[i])) ++i, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    if (i != text.size()) return false;
    std::istringstream stream{std::string(text)};
    stream.imbue(std::locale::classic());
    stream >> value;
    // An exponent too large for a double still names a number; it overflows at conversion.
    if (stream.fail()) value = text[0] == '-' ? -HUGE_VAL : HUGE_VAL;
    return true;
}

template <typename Int>
Int RoundToInteger(double value) {
    if (std::isnan(value)) RaiseError(ErrorNumber::Overflow);
    // Round half to even, whatever rounding mode the process may have set.
    const int savedMode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(savedMode);
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Int>::max())) {
        RaiseError(ErrorNumber::Overflow);
    }
    return static_cast<Int>(rounded);
}

}  // namespace

std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

bool IsNumeric(std::string_view text) {
    double ignored = 0;
    return ParseDecimal(Trim(text), ignored);
}

std::int16_t CInt(std::string_view text) {
    double value = 0;
    if (!ParseDecimal(Trim(text), value)) RaiseError(ErrorNumber::TypeMismatch);
    return RoundToInteger<std::int16_t>(value);
}

std::int16_t CInt(double value) {
    return RoundToInteger<std::int16_t>(value);
}

std::int32_t CLng(double value) {
    return RoundToInteger<std::int32_t>(value);
}

std::string LCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = AsciiLower(c);
    return lower;
}

std::string Left(std::string_view text, std::size_t n) {
    return std::string(text.substr(0, std::min(n, text.size())));
}

std::string Right(std::string_view text, std::size_t n) {
    return std::string(text.substr(text.size() - std::min(n, text.size())));
}

std::int32_t CheckedAdd32(std::int32_t a, std::int32_t b) {
    std::int32_t result = 0;
    if (__builtin_add_overflow(a, b, &result)) RaiseError(ErrorNumber::Overflow);
    return result;
}

std::int32_t CheckedSub32(std::int32_t a, std::int32_t b) {
    std::int32_t result = 0;
    if (__builtin_sub_overflow(a, b, &result)) RaiseError(ErrorNumber::Overflow);
    return result;
}

std::int32_t CheckedMul32(std::int32_t a, std::int32_t b) {
    std::int32_t result = 0;
    if (__builtin_mul_overflow(a, b, &result)) RaiseError(ErrorNumber::Overflow);
    return result;
}

}  // namespace quillane
