#pragma once
// A raw band-interleaved-by-pixel file with its text header (same name,
// extension "hdr") carrying size, bands, bits and the georeferencing.

#include "imaging/pixels/FileImageBuffer.h"
#include "imaging/pixels/GeoReference.h"

namespace Lumetra {

class BIPFileBuffer : public FileImageBuffer {
public:
    BIPFileBuffer(const FileSpecification& dataFile, const GeoReference& geo);

    const FileSpecification& headerFile() const { return headerFile_; }
    const GeoReference& geoReference() const { return geo_; }

protected:
    // Writes the ten header lines. Throws Exception
    // "Could not open file <name> for writing.".
    void writeHeader() override;

private:
    FileSpecification headerFile_;
    GeoReference geo_;
};

}  // namespace Lumetra
