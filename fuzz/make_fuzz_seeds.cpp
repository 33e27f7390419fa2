// Writes the seed corpora of the fuzz targets: small valid inputs of every
// kind each target reads.
//
//   make_fuzz_seeds OUTPUT_FOLDER [CONFORMANCE_FOLDER]
//
// Wavra file seeds are the conformance files when that folder exists; the
// metadata seeds are written here and also cut out of those files.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

void save(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes load(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- JPEG pictures for the watermark target

struct JpegOptions {
    int width, height, components;
    bool progressive = false;
    int restartRows = 0;
    int quality = 75;
};

void writeJpeg(const fs::path& path, const JpegOptions& o) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = static_cast<JDIMENSION>(o.width);
    cinfo.image_height = static_cast<JDIMENSION>(o.height);
    cinfo.input_components = o.components;
    cinfo.in_color_space = o.components == 1 ? JCS_GRAYSCALE : o.components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, o.quality, TRUE);
    cinfo.restart_in_rows = o.restartRows;
    if (o.progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(o.width) * o.components);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<JSAMPLE>((i * 7 + cinfo.next_scanline * 13) & 0xFF);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(out);
}

void watermarkSeeds(const fs::path& dir) {
    writeJpeg(dir / "grey.jpg", {16, 16, 1});
    writeJpeg(dir / "rgb.jpg", {24, 8, 3});
    writeJpeg(dir / "rgb_progressive.jpg", {20, 20, 3, true});
    writeJpeg(dir / "grey_restart.jpg", {16, 40, 1, false, 1});
    writeJpeg(dir / "cmyk.jpg", {8, 8, 4});
    writeJpeg(dir / "one_pixel.jpg", {1, 1, 3});
    writeJpeg(dir / "wide.jpg", {90, 2, 1, false, 0, 30});
}

// ---- metadata blocks, laid out as the file format stores them

class Block {
public:
    Block() { bytes_ = {0xFF, 0xD1, 0, 1, 0, 0}; }
    void u16(uint32_t v) { bytes_.push_back(uint8_t(v >> 8)); bytes_.push_back(uint8_t(v)); }
    void u32(uint32_t v) { u16(v >> 16); u16(v & 0xFFFF); }
    void u64(uint64_t v) { u32(uint32_t(v >> 32)); u32(uint32_t(v)); }
    // A record header: length, name, type, count, dimensions.
    void head(const std::string& name, int type, std::vector<uint32_t> dims) {
        uint32_t count = 1;
        for (uint32_t d : dims) count *= d;
        u32(uint32_t(name.size() + 4 * dims.size() + 12));
        bytes_.insert(bytes_.end(), name.begin(), name.end());
        bytes_.push_back(0);
        u32(uint32_t(type));
        u32(count);
        u32(uint32_t(dims.size()));
        for (uint32_t d : dims) u32(d);
    }
    void marker() { head("IMAGE::SOM", 2, {1}); u16(1); }
    void end() { head("IMAGE::EOM", 2, {1}); u16(1); bytes_.push_back(0xFF); bytes_.push_back(0xD2); }
    void text(const std::string& s) { bytes_.insert(bytes_.end(), s.begin(), s.end()); bytes_.push_back(0); }
    void f64(double d) { uint64_t v; std::memcpy(&v, &d, 8); u64(v); }
    void f32(float f) { uint32_t v; std::memcpy(&v, &f, 4); u32(v); }
    void byte(uint8_t b) { bytes_.push_back(b); }
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

void metadataSeeds(const fs::path& dir) {
    Block minimal;
    minimal.marker();
    minimal.end();
    save(dir / "minimal.bin", minimal.bytes());

    Block typical;
    typical.marker();
    typical.head("IMAGE::WIDTH", 3, {1});
    typical.u32(640);
    typical.head("IMAGE::INPUT_NAME", 5, {1});
    typical.text("maps/city.img");
    typical.head("IMAGE::BITS_PER_SAMPLE", 2, {1});
    typical.u16(8);
    typical.head("IMAGE::COLOR_SCHEME", 3, {1});
    typical.u32(0);
    typical.head("IMAGE::XY_ORIGIN", 7, {2});
    typical.f64(500000.5);
    typical.f64(4100000.25);
    typical.head("IMAGE::X_RESOLUTION", 7, {1});
    typical.f64(2.5);
    typical.head("IMAGE::Y_RESOLUTION", 7, {1});
    typical.f64(2.5);
    typical.head("IMAGE::NO_DATA_VALUE", 1, {3});
    for (int i = 0; i < 3; ++i) typical.byte(0);
    typical.head("IMAGE::INPUT_LUT", 1, {3, 4});
    for (int i = 0; i < 12; ++i) typical.byte(uint8_t(i * 20));
    typical.head("IMAGE::COMPRESSION_VERSION", 10, {3});
    typical.u32(1);
    typical.u32(0);
    typical.u32(2);
    typical.head("IMAGE::COMPRESSION_GAMMA", 6, {1});
    typical.f32(1.5f);
    typical.head("IMAGE::X_ROTATION", 9, {1});
    typical.u16(0xFFFE);
    typical.head("IMAGE::NO_DITHER", 1, {1});
    typical.byte(1);
    typical.head("IMAGE::CREATION_DATE", 5, {2, 1});
    typical.text("2026-12-08");
    typical.text("08:00");
    typical.end();
    save(dir / "typical.bin", typical.bytes());
}

// The metadata block of a Wavra file: 12L + 27 holds FF D0 and then the
// block's offset; the block runs to the end of the file.
void cutMetadata(const Bytes& file, const fs::path& out) {
    if (file.size() < 15) return;
    auto be32 = [&](size_t at) {
        return uint32_t(file[at]) << 24 | uint32_t(file[at + 1]) << 16 | uint32_t(file[at + 2]) << 8 | file[at + 3];
    };
    uint64_t levels = be32(11);
    uint64_t marker = 12 * levels + 27;
    if (marker + 6 > file.size() || file[marker] != 0xFF || file[marker + 1] != 0xD0) return;
    uint64_t offset = be32(marker + 2);
    if (offset >= file.size()) return;
    save(out, Bytes(file.begin() + static_cast<long>(offset), file.end()));
}

// ---- raw images: header text, a NUL byte, then the raw samples

void rawSeed(const fs::path& path, const std::string& header, size_t rawBytes) {
    Bytes bytes(header.begin(), header.end());
    bytes.push_back(0);
    for (size_t i = 0; i < rawBytes; ++i) bytes.push_back(uint8_t(i * 37));
    save(path, bytes);
}

void rawSeeds(const fs::path& dir) {
    rawSeed(dir / "grey.bin", "NROWS 10\nNCOLS 20\nNBANDS 1\n", 200);
    rawSeed(dir / "rgb_bip.bin",
            "BYTEORDER M\nLAYOUT BIP\nNROWS 6\nNCOLS 5\nNBANDS 3\nNBITS 8\nULXMAP 500000.000000000000000\n"
            "ULYMAP 4100000.000000000000000\nXDIM 2.500000000000000\nYDIM 2.500000000000000\n",
            90);
    rawSeed(dir / "rgb_bil.bin", "nrows: 4\nncols: 7\nnbands: 3\nlayout bil\nskipbytes 5\n", 5 + 84);
    rawSeed(dir / "rgb_bsq.bin", "ROWS 3\nCOLS 3\nBANDS 3\nINTERLEAVING BSQ\nBANDROWBYTES 3\nTOTALROWBYTES 9\n", 27);
    rawSeed(dir / "window.bin",
            "NROWS 2\nNCOLS 2\nNBANDS 1\nDYNAMICRANGEWINDOW 200\nDYNAMICRANGELEVEL 100\nWORDLENGTH 1\n"
            "UL_X_COORDINATE -10.5\nUL_Y_COORDINATE 20\nPIXEL_WIDTH 0.5\nPIXEL_HEIGHT 0.5\n",
            4);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUTPUT_FOLDER [CONFORMANCE_FOLDER]\n");
        return 2;
    }
    fs::path out = argv[1];
    for (const char* target : {"fuzz_watermark", "fuzz_metadata", "fuzz_raw_header", "fuzz_wavra_file"})
        fs::create_directories(out / target);
    watermarkSeeds(out / "fuzz_watermark");
    metadataSeeds(out / "fuzz_metadata");
    rawSeeds(out / "fuzz_raw_header");

    if (argc > 2 && fs::is_directory(argv[2])) {
        for (const auto& entry : fs::directory_iterator(argv[2])) {
            if (entry.path().extension() != ".wvr") continue;
            Bytes file = load(entry.path());
            save(out / "fuzz_wavra_file" / entry.path().filename(), file);
            cutMetadata(file, out / "fuzz_metadata" / (entry.path().stem().string() + ".bin"));
        }
    }
    return 0;
}
