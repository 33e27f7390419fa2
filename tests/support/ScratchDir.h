#pragma once
// A private folder for one test, removed with everything in it afterwards.

#include <string>
#include <vector>

namespace testsupport {

class ScratchDir {
public:
    // Made under $TMPDIR (else /tmp) as PREFIX_XXXXXX; throws when it cannot be.
    explicit ScratchDir(const std::string& prefix = "wx_test");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Names in the folder (or in its subfolder `sub`), without "." and "..", sorted.
    std::vector<std::string> entries(const std::string& sub = "") const;
    // Writes the bytes to a file in the folder and returns its path.
    std::string write(const std::string& name, const std::vector<unsigned char>& bytes) const;

private:
    std::string path_;
};

// Removes a folder and everything below it, write-protected folders included.
void removeTree(const std::string& dir);
bool fileExists(const std::string& path);

}  // namespace testsupport
