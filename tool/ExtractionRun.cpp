#include "tool/ExtractionRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "tool/InterruptSignals.h"

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
    if (isStaged() && !committed_) std::remove(writeName_.c_str());
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
}

std::string StagedOutput::tellAsOutput(const char* message) const {
    const std::string text = message ? message : "";
    return isStaged() ? replaceAll(text, writeName_, output_) : text;
}

void runExtraction(const CommandLineValues& values, TemporaryRunFiles& temporaries) {
    wavra::Reader input = wavra::Reader::open(values.input);
    // A single extraction decodes with -threads threads, by default the online cores.
    input.setThreads(values.hasThreads ? values.threads : 0);
    runExtraction(input, values, temporaries);
}

void runExtraction(const wavra::Reader& input, const CommandLineValues& values, TemporaryRunFiles& temporaries) {
    // Icon, scale, centre and size.
    const wavra::Region region{values.icon, values.scale, values.x0, values.y0, values.width, values.height};
    // A region the file cannot deliver is refused here, before any temporary file.
    input.regionWindow(region);
    std::unique_ptr<wavra::Watermark> watermark;
    if (values.watermark) watermark = std::make_unique<wavra::Watermark>(values.watermarkFile);
    const wavra::Progress untilInterrupted = [](double) { return interruptRequested() == 0; };

    temporaries.reserve();
    input.readRegionToRawFile(region, temporaries.rawFile(), watermark.get(), values.watermarkPosition,
                              untilInterrupted);
    throwIfInterrupted();

    // The re-encoding takes the encoder's defaults (block size 512, rate 0.6,
    // dither on, ...) and the requested levels.
    wavra::EncodeParameters parameters;
    parameters.levels = values.nlev;
    // The georeferencing travels in the output's metadata; a world file
    // beside the output would only shadow it or clobber someone else's.
    parameters.writeWorldFile = false;
    StagedOutput output(values.output);
    try {
        wavra::encodeRawFile(temporaries.rawFile(), parameters, output.writeName(), untilInterrupted);
    } catch (const wavra::Error& e) {
        throw wavra::Error(output.tellAsOutput(e.what()));
    }
    // The last moment a signal can stop the run: once committed the output is complete.
    throwIfInterrupted();
    output.commit();
    temporaries.removeRawFiles();
}
