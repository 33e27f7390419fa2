#pragma once
// The interface every region decoder offers its navigator.

#include <functional>

namespace Lumetra {

class ImageBuffer;

// Receives the fraction of the decode done so far, 0 to 1.
using ProgressHook = std::function<void(float)>;

class ImageDecoder {
public:
    virtual ~ImageDecoder() = default;
    // Prepares a decode.
    virtual void initialise() = 0;
    // Decodes into a buffer whose image rectangle is set and whose run has begun.
    virtual void decode(ImageBuffer& buffer) = 0;
    // Reserved; throws Exception "Unimplemented method".
    virtual void reserved();
    // Releases what the decode kept and reports completion.
    virtual void finish() = 0;
};

}  // namespace Lumetra
