#include "imaging/pixels/BIPFileBuffer.h"

#include <cmath>
#include <cstdio>

#include "core/Exception.h"

namespace Lumetra {

BIPFileBuffer::BIPFileBuffer(const FileSpecification& dataFile, const GeoReference& geo)
    : FileImageBuffer(dataFile), headerFile_(dataFile.setExtension("hdr")), geo_(geo) {}

void BIPFileBuffer::writeHeader() {
    FILE* f = headerFile_.open("w");
    if (!f) throw Exception("Could not open file " + headerFile_.str() + " for writing.");
    std::fprintf(f, "BYTEORDER M\n");
    std::fprintf(f, "LAYOUT BIP\n");
    std::fprintf(f, "NROWS %d\n", imageRect_.height());
    std::fprintf(f, "NCOLS %d\n", imageRect_.width());
    std::fprintf(f, "NBANDS %d\n", info_.bands);
    std::fprintf(f, "NBITS %d\n", info_.bitsPerSample);
    std::fprintf(f, "ULXMAP %.15lf\n", geo_.upperLeftX);
    std::fprintf(f, "ULYMAP %.15lf\n", geo_.upperLeftY);
    std::fprintf(f, "XDIM %.15lf\n", std::fabs(geo_.xPixelSize));
    std::fprintf(f, "YDIM %.15lf\n", std::fabs(geo_.yPixelSize));
    const bool failed = std::ferror(f) != 0;
    if (std::fclose(f) != 0 || failed) throw Exception("Error writing to file");
}

}  // namespace Lumetra
