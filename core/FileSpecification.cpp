#include "core/FileSpecification.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include "wavra/diagnostics.h"

namespace Lumetra {

const char* const FileSpecification::kUnset = "///:::\\\\\\UNITIALIZED_FILESPEC";

FileSpecification::FileSpecification() : path_(kUnset) {}
FileSpecification::FileSpecification(const char* path) : path_(path ? path : "") {}
FileSpecification::FileSpecification(const std::string& path) : path_(path) {}

FileSpecification& FileSpecification::operator=(const char* path) {
    path_ = path ? path : "";
    return *this;
}

size_t FileSpecification::fileNameStart() const {
    const size_t sep = path_.find_last_of("/\\");
    return sep == std::string::npos ? 0 : sep + 1;
}

std::string FileSpecification::fileName() const { return path_.substr(fileNameStart()); }

std::string FileSpecification::directory() const { return path_.substr(0, fileNameStart()); }

FileSpecification FileSpecification::replaceFileName(const std::string& name) const {
    return FileSpecification(directory() + name);
}

FileSpecification FileSpecification::withoutExtension() const {
    const size_t start = fileNameStart();
    const size_t dot = path_.find_last_of('.');
    if (dot == std::string::npos || dot < start) return *this;
    return FileSpecification(path_.substr(0, dot));
}

std::string FileSpecification::extension() const {
    const size_t start = fileNameStart();
    const size_t dot = path_.find_last_of('.');
    if (dot == std::string::npos || dot < start) return std::string();
    return path_.substr(dot + 1);
}

FileSpecification FileSpecification::setExtension(const char* ext) const {
    FileSpecification base = withoutExtension();
    if (!ext) return base;
    return FileSpecification(base.path_ + "." + ext);
}

FILE* FileSpecification::open(const char* mode) const { return std::fopen(path_.c_str(), mode); }

bool FileSpecification::exists() const {
    struct stat st;
    return ::stat(path_.c_str(), &st) == 0;
}

int FileSpecification::deleteFile() const {
    const int rc = std::remove(path_.c_str());
    if (rc != 0) wavra::diagnostic("Error deleting file " + path_ + ".");
    return rc;
}

void FileSpecification::removeQuietly() const {
    // Names derived from the unset value (its ".bip", ".hdr", ...) are never
    // real files of ours either.
    if (path_.empty() || path_.compare(0, std::strlen(kUnset), kUnset) == 0) return;
    std::remove(path_.c_str());
}

}  // namespace Lumetra
