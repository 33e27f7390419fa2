#pragma once
// The texts of the failures raised while a Wavra file is read.

#include <string>

#include "core/FileSpecification.h"

namespace Lumetra {

// A two-byte marker or a byte run could not be read.
constexpr const char* kReadStreamBang = "Error reading from stream!";
// A 32-bit integer could not be read, or a table runs past the end of the file.
constexpr const char* kReadStreamDot = "Error reading from stream.";
// Wrong magic, or header values no Wavra file can have.
constexpr const char* kNotWavra = "Error: stream does not contain a bonafide Wavra image.";
constexpr const char* kSectionMarker = "Marker problem encountered.  Possible file corruption.";
constexpr const char* kBlockMarker = "Marker problem encountered. Possible file corruption.";
// A coded block lies outside the file or its offsets run backwards.
constexpr const char* kReadRecord = "Error reading record from stream!";
// Block bounds or code-block sizes no writer produces.
constexpr const char* kBadBlockHeader = "Invalid block header encountered. Possible file corruption.";
// A block table whose bounds do not form a grid of blocks.
constexpr const char* kBadBlockTable = "Invalid block table encountered. Possible file corruption.";
constexpr const char* kBadCast = "bad cast in metadata";
// A coded block whose bits are no code of its table or end too early.
constexpr const char* kReadErrorMessage =
    "Read error encountered while decompressing. Possible file corruption.";
// A coded block that does not start with its marker.
constexpr const char* kMarkerErrorMessage =
    "Invalid marker sequence encountered while decompressing. Possible file corruption.";
constexpr const char* kUnknownScheme =
    "The Color Scheme is Unknown, and not enough information is available to continue with this image";

// "Error: file <path> is a newer Wavra file than this decompression SDK
// supports." and a request to ask for an update.
std::string newerVersionMessage(const FileSpecification& file);

}  // namespace Lumetra
