#include "tool/ExtractionRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <utility>

#include "core/Error.h"
#include "core/Exception.h"
#include "decoder/WavraNavigator.h"
#include "encoder/codec/ImageEncoder.h"
#include "encoder/rawimage/BBBImage.h"
#include "format/WavraFile.h"
#include "imaging/watermark/JpegWatermark.h"
#include "tool/DecodeRegion.h"
#include "tool/InterruptSignals.h"

namespace {

// Fixed parameters of the re-encoding.
constexpr int kBlockSize = 512;
constexpr float kRate = 0.6f;
constexpr float kWeight = 4.0f;
constexpr float kGamma = 2.0f;
constexpr bool kDither = true;
constexpr float kKWeight = 0.25f;

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

StagedOutput::StagedOutput(const Lumetra::FileSpecification& output)
    : output_(output), destination_(output), writeName_(output) {
    if (!output.isInitialized()) return;
    std::string path = output.str();
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replace the file the link points at, never the link itself.
        char* real = ::realpath(path.c_str(), nullptr);
        if (!real) return;
        path = real;
        std::free(real);
        destination_ = Lumetra::FileSpecification(path);
    }
    if (statOf(path, st)) {
        // Devices and pipes are written in place; so is a file we may not
        // write, which then fails as it always did, untouched.
        if (!S_ISREG(st.st_mode) || ::access(path.c_str(), W_OK) != 0) return;
    }
    const Lumetra::FileSpecification directory(directoryOf(path));
    if (!statOf(directory.str(), st) || !S_ISDIR(st.st_mode)) return;
    for (int attempt = 0; attempt < 16; ++attempt) {
        Lumetra::TemporaryReservation reservation;
        try {
            reservation = Lumetra::TemporaryReservation(&directory);
        } catch (const Error&) {
            return;  // no name to be had there: written in place
        }
        const Lumetra::FileSpecification staged(reservation.name().str() + kStagedSuffix);
        if (staged != destination_ && ::lstat(staged.path(), &st) != 0) {
            reservation_ = std::move(reservation);
            writeName_ = staged;
            return;
        }
    }
}

StagedOutput::~StagedOutput() {
    if (isStaged() && !committed_) writeName_.removeQuietly();
}

void StagedOutput::commit() {
    if (!isStaged() || committed_) {
        committed_ = true;
        return;
    }
    // The writer has closed the file and checked the close; make the bytes
    // durable before the name moves.
    bool ok = false;
    const int fd = ::open(writeName_.path(), O_RDONLY);
    if (fd >= 0) {
        ok = ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
    }
    struct stat st;
    if (ok && statOf(destination_.str(), st) && S_ISREG(st.st_mode))
        ok = ::chmod(writeName_.path(), st.st_mode & 07777) == 0;
    if (ok) ok = ::rename(writeName_.path(), destination_.path()) == 0;
    if (!ok) {
        writeName_.removeQuietly();
        throw WriteError(output_);
    }
    committed_ = true;
}

std::string StagedOutput::tellAsOutput(const char* message) const {
    const std::string text = message ? message : "";
    return isStaged() ? replaceAll(text, writeName_.str(), output_.str()) : text;
}

void runExtraction(const CommandLineValues& values, TemporaryRunFiles& temporaries) {
    const Lumetra::WavraFile input(values.input, 0);
    // A scale beyond the file is refused here, before any temporary file.
    Lumetra::WavraNavigator region =
        regionNavigator(input, values.icon, values.scale, values.x0, values.y0, values.width, values.height);
    const Lumetra::JpegWatermark watermark =
        values.watermark ? Lumetra::JpegWatermark(values.watermarkFile) : Lumetra::JpegWatermark();

    region.setInterruptHook(interruptRequested);
    temporaries.reserve();
    decodeToRawFile(region, temporaries.rawFile(), values.watermark ? &watermark : nullptr,
                    values.watermarkPosition);
    throwIfInterrupted();

    auto image = std::make_unique<BBBImage>(temporaries.rawFile());
    auto encoder = std::make_unique<ImageEncoder>(*image, values.nlev, kBlockSize, kRate, nullptr, nullptr,
                                                  interruptRequested, kWeight, kGamma, kDither, kKWeight);
    // The georeferencing travels in the output's metadata; a world file
    // beside the output would only shadow it or clobber someone else's.
    encoder->setWriteWorldFile(false);
    StagedOutput output(values.output);
    try {
        encoder->encode(output.writeName());
    } catch (const Error& e) {
        throw Error(output.tellAsOutput(e.message()));
    } catch (const Lumetra::Exception& e) {
        throw Lumetra::Exception(output.tellAsOutput(e.what()));
    }
    // The last moment a signal can stop the run: once committed the output is complete.
    throwIfInterrupted();
    output.commit();
    encoder.reset();
    image.reset();
    temporaries.removeRawFiles();
}
