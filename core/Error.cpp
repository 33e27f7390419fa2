#include "core/Error.h"

#include <cstring>

#include "core/FileSpecification.h"

char* Error::getMessage() const {
    const std::string& message = text();
    char* copy = new char[message.size() + 1];
    std::memcpy(copy, message.c_str(), message.size() + 1);
    return copy;
}

OpenError::OpenError(const std::string& file, const char* modeWord) {
    setMessage("Error opening file " + file + " for " + (modeWord ? modeWord : "") + ".");
}
OpenError::OpenError(const Lumetra::FileSpecification& file, const char* modeWord)
    : OpenError(std::string(file.path()), modeWord) {}

OpenError::OpenError(const char* file, const char* modeWord)
    : OpenError(std::string(file ? file : ""), modeWord) {}

ReadError::ReadError(const std::string& file) { setMessage("Error reading file " + file + "."); }
ReadError::ReadError(const Lumetra::FileSpecification& file) : ReadError(std::string(file.path())) {}

ReadError::ReadError(const char* file) : ReadError(std::string(file ? file : "")) {}

WriteError::WriteError(const std::string& file) {
    setMessage("Error writing file " + file + ". Perhaps you are out of disk space.");
}
WriteError::WriteError(const Lumetra::FileSpecification& file) : WriteError(std::string(file.path())) {}
WriteError::WriteError(const char* file) : WriteError(std::string(file ? file : "")) {}
