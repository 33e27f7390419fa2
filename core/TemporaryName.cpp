#include "core/TemporaryName.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <new>
#include <string>

#include "core/Error.h"

namespace Lumetra {

namespace {

int g_counter = 0;     // for names without a directory
int g_dirCounter = 0;  // for names inside a given directory
std::mutex g_counting;  // the counters, for the threads of a process

bool isDirectory(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool pathExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// "<dir>/tmpN". Only "/" counts as a trailing separator: a directory whose
// name ends in a backslash is an ordinary name here, and the file must land inside it.
std::string joinTmp(const std::string& dir, int n) {
    std::string name = dir;
    if (name.empty() || name.back() != '/') name += '/';
    return name + "tmp" + std::to_string(n);
}

std::string checkedDirectory(const FileSpecification& directory) {
    const std::string dir = directory.str();
    if (!isDirectory(dir))
        throw Error("Error: specified temporary directory \"" + dir +
                    "\" is not accessible or does not exist.");
    return dir;
}

// Tries names from the counter on; `claim` decides whether a name is free
// (and, for reservations, takes it).
template <typename Claim>
FileSpecification pickName(const std::string& dir, int& counter, int limit, bool inDirectory, Claim claim) {
    const std::lock_guard<std::mutex> hold(g_counting);
    for (int tries = 0; tries < limit; ++tries) {
        if (counter >= limit) {
            if (inDirectory) throw Error("Error creating temporary file in directory " + dir + ".");
            counter = 0;
        }
        const std::string name = joinTmp(dir, counter++);
        if (name.size() > 260) break;
        if (claim(name)) return FileSpecification(name);
    }
    if (inDirectory) throw Error("Error creating temporary file in directory " + dir + ".");
    throw Error("Error creating temporary file.\n");
}

bool nameIsFree(const std::string& name) { return !pathExists(name); }

bool reserveExclusively(const std::string& name) {
    const int fd = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
    if (fd < 0) return false;
    ::close(fd);
    // The derived names must be free too, or another run owns them.
    if (pathExists(name + ".bip") || pathExists(name + ".hdr")) {
        ::unlink(name.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string temporaryDirectory() {
    if (const char* tmp = std::getenv("TMP")) {
        std::string raw = tmp;
        if (isDirectory(raw)) return raw;
        std::string cleaned;
        for (char c : raw)
            if (c != '"') cleaned += c;
        if (isDirectory(cleaned)) return cleaned;
    }
    if (isDirectory(".")) return ".";
    return "/";
}

FileSpecification temporaryName() {
    return pickName(temporaryDirectory(), g_counter, 32767, false, nameIsFree);
}

FileSpecification temporaryName(const FileSpecification& directory) {
    const std::string dir = checkedDirectory(directory);
    try {
        return pickName(dir, g_dirCounter, 65536, true, nameIsFree);
    } catch (const std::bad_alloc&) {
        throw Error("Memory allocation error.\n");
    }
}

TemporaryReservation::TemporaryReservation(const FileSpecification* directory) {
    if (directory && directory->isInitialized())
        name_ = pickName(checkedDirectory(*directory), g_dirCounter, 65536, true, reserveExclusively);
    else
        name_ = pickName(temporaryDirectory(), g_counter, 32767, false, reserveExclusively);
}

TemporaryReservation::~TemporaryReservation() { release(); }

TemporaryReservation::TemporaryReservation(TemporaryReservation&& other) noexcept : name_(other.name_) {
    other.name_ = FileSpecification();
}

TemporaryReservation& TemporaryReservation::operator=(TemporaryReservation&& other) noexcept {
    if (this != &other) {
        release();
        name_ = other.name_;
        other.name_ = FileSpecification();
    }
    return *this;
}

void TemporaryReservation::release() {
    if (name_.isInitialized()) {
        ::unlink(name_.path());
        name_ = FileSpecification();
    }
}

}  // namespace Lumetra
