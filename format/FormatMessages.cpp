#include "format/FormatMessages.h"

namespace Lumetra {

std::string newerVersionMessage(const FileSpecification& file) {
    return std::string("Error: file ") + file.path() +
           " is a newer Wavra file than this decompression SDK supports. Please contact the maker of this "
           "software for an update.";
}

}  // namespace Lumetra
