#include "core/Exception.h"

#include "core/Status.h"

namespace Lumetra {

Exception::Exception(const char* message) { setMessage(message); }

Exception::Exception(const std::string& message) : wavra::Error(message), hasMessage_(true) {}

Exception::Exception(uint32_t statusCode) { setMessage(statusText(statusCode)); }

void Exception::setMessage(const char* message) {
    if (message) {
        setText(message);
        hasMessage_ = true;
    } else {
        setText(std::string());
        hasMessage_ = false;
    }
}

InvalidArgumentException::InvalidArgumentException() : Exception(uint32_t(StatusInvalidArgument)) {}

InvalidArgumentException::InvalidArgumentException(const char* detail)
    : Exception(uint32_t(StatusInvalidArgument)) {
    if (detail) setMessage((std::string(getMessage()) + ": " + detail).c_str());
}

NullPointerException::NullPointerException() : Exception(uint32_t(StatusNullPointer)) {}

Interrupt::Interrupt() : Exception(uint32_t(StatusInterrupt)) {}

}  // namespace Lumetra
