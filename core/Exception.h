#pragma once
// The exception family of the image-reading classes. Thrown by value, caught
// by reference; only the command line catches them. Part of the library's
// one exception type, wavra::Error.

#include <cstdint>
#include <string>

#include "wavra/error.h"

namespace Lumetra {

class Exception : public wavra::Error {
public:
    Exception() = default;
    explicit Exception(const char* message);
    explicit Exception(const std::string& message);
    // Looks the text up in the status tables (null when there is none).
    explicit Exception(uint32_t statusCode);
    Exception(const Exception&) = default;
    Exception& operator=(const Exception&) = default;
    ~Exception() override = default;

    // The message, or nullptr when the exception carries none.
    const char* getMessage() const { return hasMessage_ ? text().c_str() : nullptr; }
    // what() is the message, or "" when there is none.
    void setMessage(const char* message);

private:
    bool hasMessage_ = false;
};

class GeometryException : public Exception {
public:
    explicit GeometryException(const char* message) : Exception(message) {}
};

// "Invalid argument passed to function", then ": " and the detail if given.
class InvalidArgumentException : public Exception {
public:
    InvalidArgumentException();
    explicit InvalidArgumentException(const char* detail);
    explicit InvalidArgumentException(const std::string& detail) : InvalidArgumentException(detail.c_str()) {}
};

class NullPointerException : public Exception {
public:
    NullPointerException();
};

// Raised when an interrupt hook asks the running operation to stop.
class Interrupt : public Exception {
public:
    Interrupt();
};

}  // namespace Lumetra
