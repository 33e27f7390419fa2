#include "format/WavraFile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/ByteSources.h"
#include "core/Exception.h"
#include "core/Status.h"
#include "format/FormatMessages.h"

namespace Lumetra {

class WavraFile::WavraFileValue {
public:
    FileSpecification file;
    int32_t width = 0;
    int32_t height = 0;
    int bands = 0;
    int levels = 0;
    uint8_t version[3] = {0, 0, 0};
    bool georeferenced = false;
    double xResolution = 1.0;
    double yResolution = 1.0;
    double xOrigin = 0.0;
    double yOrigin = 0.0;
    double xRotation = 0.0;
    double yRotation = 0.0;
    bool dither = true;
    Clut clut;
    ImageBufferInfo pixelDescription;
    std::unique_ptr<DBInfo> db;
    std::shared_ptr<wavra::ByteSource> source;
    int indexMode = 0;
    std::unique_ptr<WavraMetadata> metadata;
    std::vector<uint8_t> noData;
    ColorScheme scheme;
};

namespace {

const int kUnsignedTypes[] = {TypeUInt8, TypeUInt16, TypeUInt32, 0};
const int kUInt8Only[] = {TypeUInt8, 0};
const int kUInt16Or8[] = {TypeUInt16, TypeUInt8, 0};
const int kFloatEntryTypes[] = {TypeUInt8, TypeUInt16, TypeUInt32, TypeFloat32,
                                TypeInt8,  TypeInt16,  TypeInt32,  0};

// Six numbers from a world file; false when it cannot be opened or has fewer lines.
bool readWorldFile(const FileSpecification& path, double values[6]) {
    FILE* f = path.open("rt");
    if (!f) return false;
    char line[81];
    int n = 0;
    while (n < 6 && std::fgets(line, 80, f)) values[n++] = std::strtod(line, nullptr);
    std::fclose(f);
    return n == 6;
}

void applyGeoreferencing(WavraFile::WavraFileValue& v, const WavraMetadata& md) {
    if (md.has(Tag::XY_ORIGIN) && md.has(Tag::X_RESOLUTION) && md.has(Tag::Y_RESOLUTION)) {
        const MetadataElement& origin = md.get(Tag::XY_ORIGIN);
        v.georeferenced = true;
        v.xOrigin = origin.toDouble(0, 0);
        v.yOrigin = origin.toDouble(0, 1);
        v.xResolution = md.get(Tag::X_RESOLUTION).toDouble();
        v.yResolution = std::fabs(md.get(Tag::Y_RESOLUTION).toDouble());
    } else {
        v.georeferenced = false;
    }
    if (md.has(Tag::X_ROTATION) && md.has(Tag::Y_ROTATION)) {
        v.xRotation = md.get(Tag::X_ROTATION).toDouble();
        v.yRotation = md.get(Tag::Y_ROTATION).toDouble();
    }
}

void applyDitherAndNoData(WavraFile::WavraFileValue& v, const WavraMetadata& md) {
    v.dither = !md.has(Tag::NO_DITHER);
    if (!md.has(Tag::NO_DATA_VALUE)) return;
    const MetadataElement& e = md.get(Tag::NO_DATA_VALUE);
    std::vector<uint8_t> bytes;
    for (int32_t r = 0; r < e.height(); ++r)
        for (int32_t c = 0; c < e.width(); ++c) bytes.push_back(uint8_t(e.valueOfType(r, c, kUInt8Only)));
    v.noData = std::move(bytes);
}

void applyWorldFile(WavraFile::WavraFileValue& v) {
    double w[6];
    if (!readWorldFile(v.file.setExtension("wvw"), w) && !readWorldFile(v.file.setExtension("WVW"), w))
        return;
    v.georeferenced = true;
    v.xResolution = w[0];
    v.xRotation = w[1];
    v.yRotation = w[2];
    v.yResolution = std::fabs(w[3]);
    v.xOrigin = w[4];
    v.yOrigin = w[5];
}

void applyLookUpTable(WavraFile::WavraFileValue& v, const WavraMetadata& md) {
    if (!md.has(Tag::INPUT_LUT)) return;
    const MetadataElement& lut = md.get(Tag::INPUT_LUT);
    int sampleType = ImageBufferInfo::UInt8;
    if (md.has(Tag::DATA_TYPE)) {
        const double t = md.get(Tag::DATA_TYPE).valueOfType(0, 0, kUnsignedTypes);
        sampleType = t == 1   ? ImageBufferInfo::Float32
                     : t == 2 ? ImageBufferInfo::UInt16
                              : ImageBufferInfo::UInt8;
    }
    const ColorScheme scheme = colorSchemeOf(md, v.bands);
    // A table whose rows are not one entry of the scheme's bands would
    // overrun the entries: it is left out.
    if (lut.width() != bandsFor(scheme.colorSpace) || lut.height() < 1) return;
    Clut clut(scheme.colorSpace, lut.height(), sampleType, nullptr);
    for (int32_t r = 0; r < lut.height(); ++r) {
        for (int32_t c = 0; c < lut.width(); ++c) {
            switch (sampleType) {
                case ImageBufferInfo::UInt8:
                    clut.entry<uint8_t>(r)[c] = uint8_t(lut.valueOfType(r, c, kUInt8Only));
                    break;
                case ImageBufferInfo::UInt16:
                    clut.entry<uint16_t>(r)[c] = uint16_t(lut.valueOfType(r, c, kUInt16Or8));
                    break;
                default:
                    clut.entry<float>(r)[c] = float(lut.valueOfType(r, c, kFloatEntryTypes));
                    break;
            }
        }
    }
    v.pixelDescription = clut.info();
    v.clut = clut;
}

}  // namespace

ColorScheme colorSchemeOf(const WavraMetadata& md, int bands) {
    ColorScheme s;
    if (!md.has(Tag::COLOR_SCHEME)) {
        s.colorSpace = bands == 1   ? ImageBufferInfo::Grayscale
                       : bands == 3 ? ImageBufferInfo::RGB
                       : bands == 4 ? ImageBufferInfo::CMYK
                                    : -1;
        s.bands = s.colorSpace < 0 ? 0 : bandsFor(s.colorSpace);
        return s;
    }
    const uint32_t value = uint32_t(md.get(Tag::COLOR_SCHEME).valueOfType(0, 0, kUnsignedTypes));
    if (value != 0xFFFFFFFFu) {
        s.colorSpace = int(value);
        s.bands = bands;
        return s;
    }
    if (bands == 1) return ColorScheme{ImageBufferInfo::Grayscale, 1};
    if (bands == 3) return ColorScheme{ImageBufferInfo::RGB, 3};
    throw Exception(kUnknownScheme);
}

WavraFile::WavraFile(const FileSpecification& file, int indexMode)
    : WavraFile(std::make_shared<FileByteSource>(file), file, indexMode, true) {}

WavraFile::WavraFile(std::shared_ptr<wavra::ByteSource> source, const FileSpecification& name, int indexMode)
    : WavraFile(std::move(source), name, indexMode, false) {}

WavraFile::WavraFile(std::shared_ptr<wavra::ByteSource> source, const FileSpecification& name, int indexMode,
                     bool worldFile)
    : body_(std::make_shared<WavraFileValue>()) {
    WavraFileValue& v = *body_;
    v.file = name;
    // The database reads the header and refuses a newer version before
    // anything after the version bytes is parsed.
    v.db = DBInfo::create(source, name, indexMode);
    v.source = source;
    v.indexMode = indexMode;
    v.width = v.db->width();
    v.height = v.db->height();
    v.levels = v.db->levels();
    v.bands = v.db->bands();
    for (int i = 0; i < 3; ++i) v.version[i] = v.db->version()[i];
    v.yOrigin = double(v.height) - 1.0;
    v.metadata.reset(new WavraMetadata(source, v.levels));
    const WavraMetadata& md = *v.metadata;
    if (!md.isEmpty()) {
        applyGeoreferencing(v, md);
        applyDitherAndNoData(v, md);
    }
    if (worldFile) applyWorldFile(v);
    applyLookUpTable(v, md);
    v.scheme = colorSchemeOf(md, v.bands);
    // A scheme needing more bands than the file codes would send the decoder
    // to planes that do not exist.
    if (v.scheme.colorSpace == -1 || bandsFor(v.scheme.colorSpace) > v.bands)
        throw Exception(uint32_t(StatusUnknownColorspace));
}

const FileSpecification& WavraFile::file() const { return body_->file; }
int32_t WavraFile::width() const { return body_->width; }
int32_t WavraFile::height() const { return body_->height; }
int WavraFile::bands() const { return body_->bands; }
int WavraFile::levels() const { return body_->levels; }
std::array<uint8_t, 3> WavraFile::version() const {
    return {body_->version[0], body_->version[1], body_->version[2]};
}
bool WavraFile::isGeoreferenced() const { return body_->georeferenced; }
double WavraFile::xResolution() const { return body_->xResolution; }
double WavraFile::yResolution() const { return body_->yResolution; }
double WavraFile::xOrigin() const { return body_->xOrigin; }
double WavraFile::yOrigin() const { return body_->yOrigin; }
double WavraFile::xRotation() const { return body_->xRotation; }
double WavraFile::yRotation() const { return body_->yRotation; }
bool WavraFile::dither() const { return body_->dither; }
const std::vector<uint8_t>& WavraFile::noDataValue() const { return body_->noData; }
const Clut& WavraFile::colorLookUpTable() const { return body_->clut; }
const ImageBufferInfo& WavraFile::pixelDescription() const { return body_->pixelDescription; }
ColorScheme WavraFile::colorScheme() const { return body_->scheme; }
DBInfo& WavraFile::blockDatabase() const { return *body_->db; }

std::unique_ptr<DBInfo> WavraFile::openBlockDatabase() const {
    if (!body_->db->readsAtOnce()) return nullptr;
    return DBInfo::create(body_->source, body_->file, body_->indexMode);
}
const WavraMetadata& WavraFile::metadata() const { return *body_->metadata; }

int WavraFile::bitsPerSample() const {
    const WavraMetadata& md = *body_->metadata;
    if (!md.has(Tag::BITS_PER_SAMPLE)) return 8;
    const double bits = md.get(Tag::BITS_PER_SAMPLE).valueOfType(0, 0, kUnsignedTypes);
    // Outside 1..16 a later 1 << bits would be undefined.
    return bits >= 1 && bits <= 16 ? int(bits) : 8;
}

}  // namespace Lumetra
