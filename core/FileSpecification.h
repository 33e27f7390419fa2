#pragma once
// The system's file-name value. Both "/" and "\" separate directories when a
// path is split; new names are joined with "/".

#include <cstdio>
#include <string>

namespace Lumetra {

class FileSpecification {
public:
    // The path of a file name that was never given one.
    static const char* const kUnset;

    FileSpecification();
    FileSpecification(const char* path);         // NOLINT: implicit by design, like a string
    FileSpecification(const std::string& path);  // NOLINT
    FileSpecification& operator=(const char* path);

    const char* path() const { return path_.c_str(); }
    const std::string& str() const { return path_; }
    bool isInitialized() const { return path_ != kUnset; }

    // Text after the last separator, or the whole path.
    std::string fileName() const;
    // The text before and including the last separator ("" when there is none).
    std::string directory() const;
    FileSpecification replaceFileName(const std::string& name) const;
    // File name cut before its last "." (a "." in a directory does not count).
    FileSpecification withoutExtension() const;
    // The extension after the file name's last "." ("" when there is none).
    std::string extension() const;
    // File name cut before its last "." and then "." + extension; a null
    // extension only removes the old one.
    FileSpecification setExtension(const char* extension) const;

    // fopen with the C mode string; null on failure.
    FILE* open(const char* mode) const;
    bool exists() const;
    // Removes the file; on failure prints "Error deleting file %s." to
    // standard error and returns non-zero.
    int deleteFile() const;
    // Removes the file if it exists, silently; does nothing for the unset
    // value and names made from it.
    void removeQuietly() const;

    bool operator==(const FileSpecification& o) const { return path_ == o.path_; }
    bool operator!=(const FileSpecification& o) const { return path_ != o.path_; }

private:
    size_t fileNameStart() const;
    std::string path_;
};

}  // namespace Lumetra
