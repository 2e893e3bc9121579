#include "platform/base/RuntimeError.h"

namespace quillane {

std::string StandardDescription(ErrorNumber number) {
    switch (number) {
        case ErrorNumber::None:
            return "";
        case ErrorNumber::Overflow:
            return "Overflow";
        case ErrorNumber::OutOfMemory:
            return "Out of memory";
        case ErrorNumber::SubscriptOutOfRange:
            return "Subscript out of range";
        case ErrorNumber::DivisionByZero:
            return "Division by zero";
        case ErrorNumber::TypeMismatch:
            return "Type mismatch";
        case ErrorNumber::FileNotFound:
            return "File not found";
        case ErrorNumber::DeviceUnavailable:
            return "Device unavailable";
        case ErrorNumber::PathFileAccessError:
            return "Path/File access error";
        case ErrorNumber::PathNotFound:
            return "Path not found";
        case ErrorNumber::InvalidPropertyValue:
            return "Invalid property value";
        case ErrorNumber::InvalidPicture:
            return "Invalid picture";
    }
    return "Application-defined or object-defined error";
}

RuntimeError::RuntimeError(ErrorNumber number, const std::string& description)
    : std::runtime_error(description.empty() ? StandardDescription(number) : description),
      m_number(number) {}

void RaiseError(ErrorNumber number, const std::string& description) {
    throw RuntimeError(number, description);
}

}  // namespace quillane
