#pragma once
// File-name extensions as the library names files: the extension follows the
// last "." of the file name, "/" and "\" both ending a directory.

#include <string>

// The extension without its ".", or "" when the file name has none.
std::string extensionOf(const std::string& path);

// The path cut before its extension's "." (when it has one), then "." +
// extension.
std::string withExtension(const std::string& path, const std::string& extension);
