#include "tool/StagedOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "tool/FileNames.h"

namespace {

// Extension of a staged output beside its reserved bare name.
const char* const kStagedSuffix = ".part";

bool statOf(const std::string& path, struct stat& st) { return ::stat(path.c_str(), &st) == 0; }

// The directory a POSIX path lies in: "." without a "/", "/" for the root.
std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Removes a regular file; never a device or anything else.
void removeRegularFile(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(path.c_str());
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) return text;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

StagedOutput::StagedOutput(const std::string& output)
    : output_(output), destination_(output), writeName_(output) {
    std::string path = output;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replace the file the link points at, never the link itself.
        char* real = ::realpath(path.c_str(), nullptr);
        if (!real) return;
        path = real;
        std::free(real);
        destination_ = path;
    }
    if (statOf(path, st)) {
        // Devices and pipes are written in place; so is a file we may not
        // write, which then fails as it always did, untouched.
        if (!S_ISREG(st.st_mode) || ::access(path.c_str(), W_OK) != 0) return;
    }
    const std::string directory = directoryOf(path);
    if (!statOf(directory, st) || !S_ISDIR(st.st_mode)) return;
    for (int attempt = 0; attempt < 16; ++attempt) {
        wavra::TemporaryName reservation;
        try {
            reservation = wavra::TemporaryName(directory);
        } catch (const wavra::Error&) {
            return;  // no name to be had there: written in place
        }
        const std::string staged = reservation.path() + kStagedSuffix;
        if (staged != destination_ && ::lstat(staged.c_str(), &st) != 0) {
            reservation_ = std::move(reservation);
            writeName_ = staged;
            return;
        }
    }
}

StagedOutput::~StagedOutput() {
    if (!isStaged() || committed_) return;
    std::remove(writeName_.c_str());
    for (const std::string& extension : companions_) removeRegularFile(withExtension(writeName_, extension));
}

std::string StagedOutput::companion(const std::string& extension) {
    if (!isStaged()) return withExtension(output_, extension);
    companions_.push_back(extension);
    return withExtension(writeName_, extension);
}

void StagedOutput::commit() {
    if (!isStaged() || committed_) {
        committed_ = true;
        return;
    }
    // The writer has closed the file and checked the close; make the bytes
    // durable before the name moves.
    bool ok = false;
    const int fd = ::open(writeName_.c_str(), O_RDONLY);
    if (fd >= 0) {
        ok = ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
    }
    struct stat st;
    if (ok && statOf(destination_, st) && S_ISREG(st.st_mode))
        ok = ::chmod(writeName_.c_str(), st.st_mode & 07777) == 0;
    if (ok) ok = ::rename(writeName_.c_str(), destination_.c_str()) == 0;
    if (!ok) {
        std::remove(writeName_.c_str());
        wavra::throwWriteError(output_);
    }
    committed_ = true;
    // Companions the writer made follow the output; one that cannot leaves
    // the rest staged no longer: they are removed.
    std::string failed;
    for (const std::string& extension : companions_) {
        const std::string staged = withExtension(writeName_, extension);
        if (!statOf(staged, st)) continue;
        if (failed.empty() && ::rename(staged.c_str(), withExtension(output_, extension).c_str()) == 0)
            continue;
        if (failed.empty()) failed = withExtension(output_, extension);
        removeRegularFile(staged);
    }
    if (!failed.empty()) wavra::throwWriteError(failed);
}

std::string StagedOutput::tellAsOutput(const char* message) const {
    std::string text = message ? message : "";
    if (!isStaged()) return text;
    for (const std::string& extension : companions_)
        text = replaceAll(text, withExtension(writeName_, extension), withExtension(output_, extension));
    return replaceAll(text, writeName_, output_);
}
