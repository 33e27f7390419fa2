#include "format/InformationListing.h"

#include "format/WavraFile.h"

namespace Lumetra {

void printInformationListing(const FileSpecification& input, std::FILE* out) {
    const WavraFile file(input, 0);
    const std::array<uint8_t, 3> v = file.version();
    std::fprintf(out, "%s\n%d\n%d\n%d\n%d\n%d.%d.%d.\n", input.fileName().c_str(), int(file.width()),
                 int(file.height()), file.bands(), file.levels(), int(v[0]), int(v[1]), int(v[2]));
}

}  // namespace Lumetra
