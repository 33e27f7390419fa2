#pragma once
// The six georeferencing values a raw-file buffer writes into its header,
// as a plain value. The decoder's navigator produces one for its region
// (WavraNavigator::geoReference()), so imaging never depends on the decoder.

namespace Lumetra {

struct GeoReference {
    bool present = false;     // the source image is georeferenced
    double xPixelSize = 1.0;  // map units per pixel along x, at the region's scale
    double yPixelSize = 1.0;  // map units per pixel along y, at the region's scale
    double upperLeftX = 0.0;  // map x of the region's upper-left corner
    double upperLeftY = 0.0;  // map y of the region's upper-left corner
    double xRotation = 0.0;
    double yRotation = 0.0;
};

}  // namespace Lumetra
