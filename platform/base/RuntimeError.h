#pragma once
// The run-time error of the forms runtime: a number and a description. Routines with an error
// trap catch it (try/catch around their body); routines without one let it pass to their caller.

#include <stdexcept>
#include <string>

namespace quillane {

// The error numbers the program raises or shows, with the meanings people know them by.
enum class ErrorNumber : int {
    None = 0,
    Overflow = 6,
    OutOfMemory = 7,
    SubscriptOutOfRange = 9,
    DivisionByZero = 11,
    TypeMismatch = 13,
    FileNotFound = 53,
    DeviceUnavailable = 68,
    PathFileAccessError = 75,
    PathNotFound = 76,
    InvalidPropertyValue = 380,
    InvalidPicture = 481,
};

// The standard description of an error number ("Overflow", "Invalid picture", ...).
std::string StandardDescription(ErrorNumber number);

class RuntimeError : public std::runtime_error {
  public:
    // An empty description takes the standard one for the number.
    explicit RuntimeError(ErrorNumber number, const std::string& description = {});

    ErrorNumber Number() const { return m_number; }
    int NumberValue() const { return static_cast<int>(m_number); }
    // What the user is shown; also what what() returns.
    const char* Description() const { return what(); }

  private:
    ErrorNumber m_number;
};

[[noreturn]] void RaiseError(ErrorNumber number, const std::string& description = {});

}  // namespace quillane
