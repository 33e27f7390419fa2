// Encoding: the encoder driven from a caller's pixel source or from a raw
// image file, with progress, cancel and clean-up of what a failed run made.

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "api/Library.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "encoder/codec/ImageEncoder.h"
#include "encoder/rawimage/BBBImage.h"
#include "encoder/rawimage/Image.h"
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

// Remembers whether the encoder finished writing the output, so that a
// failure after that point (the world file) can remove it.
template <class Base>
class Watched : public Base {
public:
    using Base::Base;
    void endOutput(const char*) override { written = true; }
    bool written = false;
};

// The caller's rows as the encoder's image: blocks are cut from a band of
// rows read from the source on demand, so that memory holds one band (the
// rows of the block being read), never the whole image.
class PixelSourceImage : public Image {
public:
    using Image::extract;

    PixelSourceImage(PixelSource& source, const GeoReference& geo, const std::vector<Tag>& tags)
        : source_(source), geo_(geo), width_(source.width()), height_(source.height()) {
        switch (source.colorSpace()) {
            case ColorSpace::Grey:
                bands_ = 1;
                scheme_ = kSchemeGrayscale;
                break;
            case ColorSpace::RGB:
                bands_ = 3;
                scheme_ = kSchemeRGB;
                break;
            case ColorSpace::CMYK:
                bands_ = 4;
                scheme_ = kSchemeCMYK;
                break;
        }
        if (width_ < 1 || height_ < 1 || bands_ == 0) throw Lumetra::InvalidArgumentException("pixel source");
        for (const Tag& tag : tags) checkTag(tag);
        fillMetadata(tags);
    }

    int bands() const override { return bands_; }
    int codedBands() const override { return bands_; }
    int width() const override { return width_; }
    int height() const override { return height_; }
    int dataType() const override { return kImageUInt8; }
    int colorScheme() const override { return scheme_; }
    void support(int s[2][2]) const override {
        s[0][0] = 0;
        s[0][1] = width_ - 1;
        s[1][0] = 0;
        s[1][1] = height_ - 1;
    }
    void info() const override {}
    double fileSize() const override { return double(width_) * double(height_) * bands_; }
    double xcoord() const override { return geo_.upperLeftX; }
    double ycoord() const override { return geo_.upperLeftY; }
    double xscale() const override { return geo_.xPixelSize; }
    double yscale() const override { return geo_.yPixelSize; }
    double xrotation() const override { return geo_.yRotation; }  // world-file line 2 (D)
    double yrotation() const override { return geo_.xRotation; }  // line 3 (B)
    bool hasGeoreference() const override { return geo_.present; }
    const unsigned char* noDataValue() const override { return nullptr; }
    const unsigned char* transparentValue() const override { return nullptr; }
    void checkCompatibility(const Image&) const override {}

    // Planes of the rectangle's size; the part inside the image is filled.
    void extract(const int r[2][2], unsigned char* pixels) const override {
        const int x0 = std::max(r[0][0], 0), x1 = std::min(r[0][1], width_ - 1);
        const int y0 = std::max(r[1][0], 0), y1 = std::min(r[1][1], height_ - 1);
        if (x0 > x1 || y0 > y1) return;
        loadRows(y0, y1);
        const size_t w = size_t(int64_t(r[0][1]) - r[0][0] + 1), h = size_t(int64_t(r[1][1]) - r[1][0] + 1);
        const size_t n = size_t(bands_);
        for (size_t b = 0; b < n; ++b) {
            for (int y = y0; y <= y1; ++y) {
                const uint8_t* in = rows_.data() + size_t(y - first_) * rowBytes() + size_t(x0) * n + b;
                unsigned char* out = pixels + (b * h + size_t(y - r[1][0])) * w + size_t(x0 - r[0][0]);
                for (int x = x0; x <= x1; ++x, in += n) *out++ = *in;
            }
        }
    }

private:
    size_t rowBytes() const { return size_t(width_) * size_t(bands_); }

    void loadRows(int y0, int y1) const {
        if (count_ > 0 && y0 >= first_ && y1 < first_ + count_) return;
        const int count = y1 - y0 + 1;
        rows_.resize(size_t(count) * rowBytes());
        count_ = 0;  // what the buffer holds is unknown until the read succeeds
        source_.readRows(y0, count, rows_.data(), rowBytes());
        first_ = y0;
        count_ = count;
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
        ok = ok && m.addColorScheme(uint32_t(scheme_)) >= 0 && m.addDataType(uint32_t(kImageUInt8)) >= 0;
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
    int width_, height_;
    int bands_ = 0;
    int scheme_ = kSchemeUnknown;
    mutable std::vector<uint8_t> rows_;  // rows first_ .. first_ + count_ - 1, interleaved
    mutable int first_ = 0, count_ = 0;
};

// Removes a file the encoder made; never a device or pipe written in place.
void removeRegularFile(const Lumetra::FileSpecification& file) {
    struct stat st;
    if (::stat(file.path(), &st) == 0 && S_ISREG(st.st_mode)) file.removeQuietly();
}

// Runs the encoder. `written` tells whether the output was complete; a
// failure or cancel after that removes it and its world file.
void runEncoder(Image& image, const bool& written, const EncodeParameters& p, const std::string& outputPath,
                const Progress& progress) {
    detail::Cancellation cancellation(progress);
    const Lumetra::FileSpecification folder(p.temporaryFolder);
    ImageEncoder encoder(image, p.levels, p.blockSize, p.rate, p.temporaryFolder.empty() ? nullptr : &folder,
                         cancellation.reportHook(), cancellation.pollHook(), p.weight, p.gamma, p.dither,
                         p.kWeight);
    encoder.setWriteWorldFile(p.writeWorldFile);
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
    Watched<PixelSourceImage> image(source, geo, tags);
    runEncoder(image, image.written, parameters, outputPath, progress);
}

void encodeRawFile(const std::string& rawPath, const EncodeParameters& parameters, const std::string& outputPath,
                   const Progress& progress) {
    detail::prepare();
    Watched<BBBImage> image{Lumetra::FileSpecification(rawPath)};
    runEncoder(image, image.written, parameters, outputPath, progress);
}

}  // namespace wavra
