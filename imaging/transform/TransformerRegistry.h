#pragma once
// The process-wide table of transformer factories, keyed "<source>.to.<dest>"
// by colour-space number, with one fallback factory for copies. Not
// synchronised: the program has one thread.

#include <memory>
#include <string>

#include "imaging/pixels/ImageBufferInfo.h"
#include "imaging/transform/ImageTransformer.h"
#include "imaging/transform/TransformerFactory.h"

namespace Lumetra {

// Files the factory under its key, replacing (and deleting) any factory there.
void registerFactory(std::unique_ptr<ColorSpaceTransformerFactory> factory);
// Replaces the fallback factory (used for equal colour spaces and for a grey
// destination fed from YIQ or YIQK).
void setFallbackFactory(std::unique_ptr<ColorSpaceTransformerFactory> factory);
// Registers the ten standard conversions and the copier as fallback. Called
// once at start-up; calling it again restores the standard table.
void registerStandardFactories();
// A new transformer from `source` to `destination`, or null when no factory
// or fallback applies or the sample types are not supported.
std::unique_ptr<ImageTransformer> findTransformer(const ImageBufferInfo& destination,
                                                  const ImageBufferInfo& source);
// The key a factory for these colour spaces is filed under ("10.to.0").
std::string transformerKey(int sourceColorSpace, int destinationColorSpace);
// The factory filed under `key` (null when none).
const ColorSpaceTransformerFactory* registeredFactory(const std::string& key);

}  // namespace Lumetra
