#pragma once
// The older exception family of the raw-image and encoder code (global),
// part of the library's one exception type, wavra::Error.

#include <string>

#include "wavra/error.h"

namespace Lumetra {
class FileSpecification;
}

class Error : public wavra::Error {
public:
    explicit Error(const char* message) : wavra::Error(message ? message : "") {}
    explicit Error(const std::string& message) : wavra::Error(message) {}
    ~Error() override = default;

    // A newly allocated copy of the message; the caller frees it with delete[].
    char* getMessage() const;
    // The message without copying.
    const char* message() const { return what(); }

protected:
    Error() = default;
    void setMessage(std::string message) { setText(std::move(message)); }
};

// "Error opening file %s for %s."
class OpenError : public Error {
public:
    OpenError(const Lumetra::FileSpecification& file, const char* modeWord);
    OpenError(const std::string& file, const char* modeWord);
    OpenError(const char* file, const char* modeWord);
};

// "Error reading file %s."
class ReadError : public Error {
public:
    explicit ReadError(const Lumetra::FileSpecification& file);
    explicit ReadError(const std::string& file);
    explicit ReadError(const char* file);
};

// "Error writing file %s. Perhaps you are out of disk space."
class WriteError : public Error {
public:
    explicit WriteError(const Lumetra::FileSpecification& file);
    explicit WriteError(const std::string& file);
    explicit WriteError(const char* file);
};
