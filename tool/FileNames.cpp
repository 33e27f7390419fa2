#include "tool/FileNames.h"

namespace {

// Where the extension's "." is; npos when the file name has none.
size_t extensionDot(const std::string& path) {
    const size_t separator = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    return dot == std::string::npos || (separator != std::string::npos && dot < separator) ? std::string::npos
                                                                                           : dot;
}

}  // namespace

std::string extensionOf(const std::string& path) {
    const size_t dot = extensionDot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string withExtension(const std::string& path, const std::string& extension) {
    return path.substr(0, extensionDot(path)) + "." + extension;
}
