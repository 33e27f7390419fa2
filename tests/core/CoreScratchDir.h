#pragma once
// A fresh directory for one test, removed with everything in it afterwards.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace coretest {

class ScratchDir {
public:
    ScratchDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/wx_core_XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data())) path_ = buf.data();
    }
    ~ScratchDir() {
        if (!path_.empty()) removeTree(path_);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    // Writes bytes to a file in the directory and returns its path.
    std::string write(const std::string& name, const std::vector<unsigned char>& bytes) const {
        const std::string p = file(name);
        if (FILE* f = std::fopen(p.c_str(), "wb")) {
            if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return p;
    }

private:
    static void removeTree(const std::string& dir) {
        if (DIR* d = ::opendir(dir.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                const std::string name = e->d_name;
                if (name == "." || name == "..") continue;
                const std::string child = dir + "/" + name;
                struct stat st;
                if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                    removeTree(child);
                else
                    ::unlink(child.c_str());
            }
            ::closedir(d);
        }
        ::rmdir(dir.c_str());
    }

    std::string path_;
};

inline bool fileExists(const std::string& path) {
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
        return true;
    }
    return false;
}

}  // namespace coretest
