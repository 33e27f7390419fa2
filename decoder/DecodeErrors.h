#pragma once
// Messages of the coded-block reader.

namespace Lumetra {

constexpr const char* kReadErrorMessage =
    "Read error encountered while decompressing. Possible file corruption.";
constexpr const char* kMarkerErrorMessage =
    "Invalid marker sequence encountered while decompressing. Possible file corruption.";

}  // namespace Lumetra
