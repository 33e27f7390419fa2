// Encoding: the encoder driven from a caller's pixel source or from a raw
// image file, with progress, cancel and clean-up of what a failed run made.

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "api/Library.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "encoder/codec/ImageEncoder.h"
#include "encoder/rawimage/BBBImage.h"
#include "encoder/rawimage/BandOrderExtraction.h"
#include "encoder/rawimage/ImageFile.h"
#include "format/MetadataTypes.h"

namespace wavra {

namespace {

// Tags the encoder writes itself; a caller's tag of such a name is not carried.
const char* const kEncoderTags[] = {
    Lumetra::Tag::SOM,
    Lumetra::Tag::EOM,
    Lumetra::Tag::WIDTH,
    Lumetra::Tag::HEIGHT,
    Lumetra::Tag::INPUT_NAME,
    Lumetra::Tag::INPUT_FILE_SIZE,
    Lumetra::Tag::BITS_PER_SAMPLE,
    Lumetra::Tag::COLOR_SCHEME,
    Lumetra::Tag::DATA_TYPE,
    Lumetra::Tag::XY_ORIGIN,
    Lumetra::Tag::X_RESOLUTION,
    Lumetra::Tag::Y_RESOLUTION,
    Lumetra::Tag::X_ROTATION,
    Lumetra::Tag::Y_ROTATION,
    Lumetra::Tag::NO_DATA_VALUE,
    Lumetra::Tag::TRANSPARENT_DATA_VALUE,
    Lumetra::Tag::INPUT_LUT,
    Lumetra::Tag::NO_DITHER,
    Lumetra::Tag::DYNAMIC_RANGE_WINDOW,
    Lumetra::Tag::DYNAMIC_RANGE_LEVEL,
    Lumetra::Tag::COMPRESSION_VERSION,
    Lumetra::Tag::CREATION_DATE,
    Lumetra::Tag::TARGET_COMPRESSION_RATIO,
    Lumetra::Tag::COMPRESSION_WEIGHT,
    Lumetra::Tag::COMPRESSION_KWEIGHT,
    Lumetra::Tag::COMPRESSION_GAMMA,
    Lumetra::Tag::COMPRESSION_NLEV,
    Lumetra::Tag::COMPRESSION_BLOCK_SIZE,
};

bool isEncoderTag(const std::string& name) {
    return std::any_of(std::begin(kEncoderTags), std::end(kEncoderTags),
                       [&name](const char* own) { return name == own; });
}

// The longest tag name a metadata block reads back.
constexpr size_t kLongestTagName = Lumetra::TagStore::kMaxNameLength - 1;

void checkTag(const Tag& tag) {
    if (tag.name.empty() || tag.name.size() > kLongestTagName || tag.name.find('\0') != std::string::npos)
        throw Lumetra::InvalidArgumentException("tag name " + tag.name);
    if (tag.value.find('\0') != std::string::npos) throw Lumetra::InvalidArgumentException("tag " + tag.name);
}

void checkParameters(const EncodeParameters& p) {
    if (p.threads < 0 || p.threads > ImageEncoder::kMaxThreads)
        throw Lumetra::InvalidArgumentException("threads");
}

// Remembers whether the encoder finished writing the output, so that a
// failure after that point (the world file) can remove it.
template <class Base>
class Watched : public Base {
public:
    using Base::Base;
    void endOutput(const char*) override { written = true; }
    bool written = false;
};

// Share of the progress that copying the caller's rows takes.
constexpr double kSpoolShare = 0.1;
// Bytes of rows copied at a time.
constexpr size_t kSpoolChunk = size_t(1) << 20;

// The reserved name of the file a PixelSourceImage keeps its rows in; a
// base of its own so that the name exists before the image file's base.
struct SpoolName {
    explicit SpoolName(const std::string& folder) : spool(folder) {}
    TemporaryName spool;  // removed with the image
};

// The caller's pixels as the encoder's image. The encoder visits its blocks
// in Morton order, which would ask for every band of rows many times over;
// so the rows are read once, top to bottom, a band at a time, and kept
// band-sequential in a temporary file from which the blocks are cut.
class PixelSourceImage : private SpoolName, public ImageFile {
public:
    using Image::extract;

    // Reserves the file in `folder` (empty: the temporary folder).
    PixelSourceImage(PixelSource& source, const GeoReference& geo, const std::vector<Tag>& tags,
                     const std::string& folder)
        : SpoolName(folder),
          ImageFile(Lumetra::FileSpecification(spool.path()), nullptr, nullptr),
          source_(source),
          geo_(geo) {
        const ColorSpace space = source.colorSpace();
        bands_ = space == ColorSpace::Grey   ? 1
                 : space == ColorSpace::RGB  ? 3
                 : space == ColorSpace::CMYK ? 4
                                             : 0;
        colorScheme_ = bands_ == 1 ? kSchemeGrayscale : bands_ == 3 ? kSchemeRGB : kSchemeCMYK;
        width_ = source.width();
        height_ = source.height();
        if (width_ < 1 || height_ < 1 || bands_ == 0 || int64_t(width_) * height_ > INT64_MAX / 4)
            throw Lumetra::InvalidArgumentException("pixel source");
        support_[0][1] = width_ - 1;
        support_[1][1] = height_ - 1;
        for (const Tag& tag : tags) checkTag(tag);
        fillMetadata(tags);
    }

    void info() const override {}
    double xcoord() const override { return geo_.upperLeftX; }
    double ycoord() const override { return geo_.upperLeftY; }
    double xscale() const override { return geo_.xPixelSize; }
    double yscale() const override { return geo_.yPixelSize; }
    double xrotation() const override { return geo_.yRotation; }  // world-file line 2 (D)
    double yrotation() const override { return geo_.xRotation; }  // line 3 (B)
    bool hasGeoreference() const override { return geo_.present; }
    void checkCompatibility(const Image&) const override {}

    // Whether the source serves windows itself, so that no copy is needed.
    bool servesWindows() {
        uint8_t probe[4];
        windows_ = source_.readWindow(0, 0, 1, 1, probe, sizeof probe);
        return windows_;
    }

    // Copies the source into the file, reporting 0 .. 1 to `cancellation`.
    void copyRows(detail::Cancellation& cancellation) {
        FILE* out = std::fopen(spool.path().c_str(), "r+b");
        if (!out) throw WriteError(spool.path());
        std::unique_ptr<FILE, int (*)(FILE*)> closer(out, std::fclose);
        const size_t w = size_t(width_), n = size_t(bands_), rowBytes = w * n;
        const int32_t band =
            int32_t(std::max<size_t>(1, std::min<size_t>(size_t(height_), kSpoolChunk / rowBytes)));
        std::vector<uint8_t> rows(size_t(band) * rowBytes), plane(size_t(band) * w);
        for (int32_t y = 0; y < height_; y += band) {
            const int32_t count = std::min(band, height_ - y);
            source_.readRows(y, count, rows.data(), rowBytes);
            for (size_t b = 0; b < n; ++b) {
                const size_t samples = size_t(count) * w;
                for (size_t i = 0; i < samples; ++i) plane[i] = rows[i * n + b];
                const int64_t at = (int64_t(b) * height_ + y) * int64_t(w);
                if (fseeko(out, off_t(at), SEEK_SET) != 0 ||
                    std::fwrite(plane.data(), 1, samples, out) != samples)
                    throw WriteError(spool.path());
            }
            cancellation.report(double(y + count) / double(height_));
        }
        closer.release();
        if (std::fclose(out) != 0) throw WriteError(spool.path());
    }

    // Planes of the rectangle's size; the part inside the image is filled.
    void extract(const int r[2][2], unsigned char* pixels) const override {
        if (windows_) return extractWindow(r, pixels);
        const RawSource rows{file(), {{0, width_ - 1}, {0, height_ - 1}}, width_, height_, bands_};
        extract_raw(rows, r, pixels, bands_ == 1 ? "GRAYSCALE" : bands_ == 3 ? "RGB_BSQ" : "CMYK_BSQ");
    }

private:
    // The part of the rectangle inside the image, straight from the source.
    void extractWindow(const int r[2][2], unsigned char* pixels) const {
        const int64_t rw = int64_t(r[0][1]) - r[0][0] + 1, rh = int64_t(r[1][1]) - r[1][0] + 1;
        const int32_t x0 = std::max(r[0][0], 0), x1 = std::min(r[0][1], width_ - 1);
        const int32_t y0 = std::max(r[1][0], 0), y1 = std::min(r[1][1], height_ - 1);
        if (rw < 1 || rh < 1 || x0 > x1 || y0 > y1) return;
        const size_t w = size_t(x1 - x0 + 1), h = size_t(y1 - y0 + 1), n = size_t(bands_);
        window_.resize(w * h * n);
        if (!source_.readWindow(x0, y0, int32_t(w), int32_t(h), window_.data(), w * n))
            throw Lumetra::Exception("The pixel source stopped serving windows.");
        for (size_t b = 0; b < n; ++b) {
            unsigned char* plane = pixels + size_t(b) * size_t(rw) * size_t(rh);
            for (size_t y = 0; y < h; ++y) {
                unsigned char* out = plane + (size_t(y0 - r[1][0]) + y) * size_t(rw) + size_t(x0 - r[0][0]);
                const uint8_t* in = window_.data() + y * w * n + b;
                for (size_t x = 0; x < w; ++x) out[x] = in[x * n];
            }
        }
    }

    void fillMetadata(const std::vector<Tag>& tags) {
        Lumetra::TagStore& m = metadata();
        bool ok = m.addWidth(uint32_t(width_)) >= 0 && m.addHeight(uint32_t(height_)) >= 0;
        if (geo_.present) {
            ok = ok && m.addXYOrigin(geo_.upperLeftX, geo_.upperLeftY) >= 0;
            ok = ok && m.addXResolution(geo_.xPixelSize) >= 0 && m.addYResolution(-geo_.yPixelSize) >= 0;
            if (geo_.xRotation != 0.0 || geo_.yRotation != 0.0)
                ok = ok && m.addXRotation(geo_.yRotation) >= 0 && m.addYRotation(geo_.xRotation) >= 0;
        }
        ok = ok && m.addColorScheme(uint32_t(colorScheme_)) >= 0 && m.addDataType(uint32_t(kImageUInt8)) >= 0;
        ok = ok && m.addBitsPerSample(8) >= 0;
        const uint32_t one[1] = {1};
        for (const Tag& tag : tags) {
            if (isEncoderTag(tag.name)) continue;
            const char* value = tag.value.c_str();
            ok = ok && m.addTexts(tag.name.c_str(), 1, one, &value) >= 0;
        }
        if (!ok) throw Error("Error creating metadata.");
    }

    PixelSource& source_;
    GeoReference geo_;
    bool windows_ = false;
    mutable std::vector<uint8_t> window_;  // one window of interleaved samples
};

// Removes a file the encoder made; never a device or pipe written in place.
void removeRegularFile(const Lumetra::FileSpecification& file) {
    struct stat st;
    if (::stat(file.path(), &st) == 0 && S_ISREG(st.st_mode)) file.removeQuietly();
}

// Runs the encoder, after `prepare` (when given) made the image ready with
// the first part of the progress. `written` tells whether the output was
// complete; a failure or cancel after that removes it and its world file.
void runEncoder(Image& image, const bool& written, const EncodeParameters& p, const std::string& outputPath,
                const Progress& progress,
                const std::function<void(detail::Cancellation&)>& prepare = nullptr) {
    detail::Cancellation cancellation(progress);
    const Lumetra::FileSpecification folder(p.temporaryFolder);
    ImageEncoder encoder(image, p.levels, p.blockSize, p.rate, p.temporaryFolder.empty() ? nullptr : &folder,
                         cancellation.reportHook(), cancellation.pollHook(), p.weight, p.gamma, p.dither,
                         p.kWeight);
    encoder.setWriteWorldFile(p.writeWorldFile);
    encoder.setBestQuality(p.bestQuality);
    encoder.setThreads(p.threads);
    if (prepare) {
        cancellation.setSpan(0.0, kSpoolShare);
        prepare(cancellation);
        cancellation.setSpan(kSpoolShare, 1.0);
    }
    const Lumetra::FileSpecification output(outputPath);
    try {
        encoder.encode(output);
        if (cancellation.active()) cancellation.report(1.0);
    } catch (...) {
        if (written) {
            removeRegularFile(output);
            if (p.writeWorldFile && image.hasGeoreference()) removeRegularFile(output.setExtension("wvw"));
        }
        throw;
    }
}

}  // namespace

void encode(PixelSource& source, const EncodeParameters& parameters, const GeoReference& geo,
            const std::vector<Tag>& tags, const std::string& outputPath, const Progress& progress) {
    detail::prepare();
    checkParameters(parameters);
    Watched<PixelSourceImage> image(source, geo, tags, parameters.temporaryFolder);
    if (image.servesWindows())
        runEncoder(image, image.written, parameters, outputPath, progress);
    else
        runEncoder(image, image.written, parameters, outputPath, progress,
                   [&image](detail::Cancellation& c) { image.copyRows(c); });
}

void encodeRawFile(const std::string& rawPath, const EncodeParameters& parameters,
                   const std::string& outputPath, const Progress& progress) {
    detail::prepare();
    checkParameters(parameters);
    Watched<BBBImage> image{Lumetra::FileSpecification(rawPath)};
    runEncoder(image, image.written, parameters, outputPath, progress);
}

}  // namespace wavra
