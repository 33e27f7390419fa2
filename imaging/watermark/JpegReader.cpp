#include "imaging/watermark/JpegReader.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

// jpeglib.h relies on FILE and size_t being declared first, and the
// message codes of jerror.h on the configuration jpeglib.h includes.
#include <jpeglib.h>

#include <jerror.h>

#include "core/Error.h"
#include "core/Exception.h"

namespace Lumetra {

namespace {

// A picture needing more scans than this is hostile: each scan makes the
// library walk the whole coefficient memory again.
constexpr int kMaxScans = 1000;
// Working memory the library may take for one picture (progressive files
// keep every coefficient of the image).
constexpr long kMaxLibraryMemory = 1L << 30;

}  // namespace

// Everything the library points back into lives here, on the heap, so that
// its address never changes. Nothing in it has a destructor that a
// longjmp could skip: the jump only crosses the library's own C frames.
struct JpegReader::State {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    FILE* file = nullptr;
    bool created = false;

    State() {
        std::memset(&cinfo, 0, sizeof cinfo);
        std::memset(&progress, 0, sizeof progress);
        message[0] = '\0';
    }
    ~State() {
        if (created) jpeg_destroy_decompress(&cinfo);
        if (file) std::fclose(file);
    }

    // Called on the far side of the longjmp, where C++ may unwind again.
    [[noreturn]] void raise() const { throw Exception(message); }

    static State& of(j_common_ptr common) {
        // cinfo is the first member, so the record's address is the state's.
        return *reinterpret_cast<State*>(common);
    }

    static void onError(j_common_ptr common) {
        State& s = of(common);
        (*common->err->format_message)(common, s.message);
        std::longjmp(s.jump, 1);
    }

    // Warnings after which the library carries on with made-up samples.
    static bool losesData(int code) {
        switch (code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_MUST_RESYNC:
#if defined(D_ARITH_CODING_SUPPORTED)
        case JWRN_ARITH_BAD_CODE:
#endif
            return true;
        default:
            return false;
        }
    }

    static void onMessage(j_common_ptr common, int level) {
        // A file whose coded data ends early or is damaged would otherwise
        // come out padded with grey and be reported as a success.
        if (level < 0 && losesData(common->err->msg_code)) onError(common);
        // Otherwise the library's standard treatment: the first warning and
        // any trace message up to the trace level are printed.
        jpeg_error_mgr* err = common->err;
        if (level < 0) {
            if (err->num_warnings == 0 || err->trace_level >= 3) (*err->output_message)(common);
            err->num_warnings++;
        } else if (err->trace_level >= level) {
            (*err->output_message)(common);
        }
    }

    static void onProgress(j_common_ptr common) {
        if (!common->is_decompressor) return;
        auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
        if (cinfo->input_scan_number > kMaxScans) {
            State& s = of(common);
            std::snprintf(s.message, sizeof s.message, "JPEG file has more than %d scans", kMaxScans);
            std::longjmp(s.jump, 1);
        }
    }
};

JpegReader::JpegReader(const FileSpecification& file) : state_(new State) {
    State& s = *state_;
    s.file = file.open("rb");
    if (!s.file) throw OpenError(file, "read");

    s.cinfo.err = jpeg_std_error(&s.errors);
    s.errors.error_exit = &State::onError;
    s.errors.emit_message = &State::onMessage;
    s.progress.progress_monitor = &State::onProgress;

    if (setjmp(s.jump) != 0) s.raise();
    jpeg_create_decompress(&s.cinfo);
    s.created = true;
    s.cinfo.progress = &s.progress;
    s.cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    jpeg_stdio_src(&s.cinfo, s.file);
    jpeg_read_header(&s.cinfo, TRUE);
}

JpegReader::~JpegReader() = default;

int JpegReader::width() const { return static_cast<int>(state_->cinfo.image_width); }
int JpegReader::height() const { return static_cast<int>(state_->cinfo.image_height); }
int JpegReader::components() const { return state_->cinfo.num_components; }
int JpegReader::precision() const { return state_->cinfo.data_precision; }

void JpegReader::start() {
    State& s = *state_;
    if (setjmp(s.jump) != 0) s.raise();
    jpeg_start_decompress(&s.cinfo);
    if (s.cinfo.output_components != s.cinfo.num_components || s.cinfo.output_width != s.cinfo.image_width ||
        s.cinfo.output_height != s.cinfo.image_height)
        throw Exception("JPEG output does not match the picture's size and components");
}

void JpegReader::readRow(unsigned char* row) {
    State& s = *state_;
    if (setjmp(s.jump) != 0) s.raise();
    JSAMPROW rows[1] = {row};
    if (jpeg_read_scanlines(&s.cinfo, rows, 1) != 1) throw Exception("JPEG file has no more rows");
}

void JpegReader::finish() {
    State& s = *state_;
    if (setjmp(s.jump) != 0) s.raise();
    jpeg_finish_decompress(&s.cinfo);
}

}  // namespace Lumetra
