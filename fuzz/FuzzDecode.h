#pragma once
// Decoding part of the Wavra file target: the icon and small regions at the
// finest and the coarsest scale, each into a raw-file buffer with 128-row
// strips on a temporary name, as the extraction run does.

#include <cstdint>

#include "FuzzScratch.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "core/TemporaryName.h"
#include "decoder/WavraNavigator.h"
#include "format/WavraFile.h"
#include "imaging/pixels/BIPFileBuffer.h"

namespace fuzz {

inline void decodeInto(const Lumetra::WavraNavigator& navigator, const Lumetra::WavraFile& file) {
    using namespace Lumetra;
    static const FileSpecification folder(scratchFolder());
    TemporaryReservation reservation(&folder);
    const FileSpecification data = reservation.name().setExtension("bip");
    WavraNavigator copy = navigator;
    try {
        BIPFileBuffer buffer(data, copy.geoReference());
        buffer.info().setColorSpace(file.colorScheme().colorSpace == ImageBufferInfo::Grayscale
                                        ? ImageBufferInfo::Grayscale
                                        : ImageBufferInfo::RGB);
        buffer.setStripHeight(128);
        copy.decode(buffer);
    } catch (...) {
        data.removeQuietly();
        data.setExtension("hdr").removeQuietly();
        throw;
    }
    data.removeQuietly();
    data.setExtension("hdr").removeQuietly();
}

inline void fuzzDecode(const Lumetra::WavraFile& file) {
    using namespace Lumetra;
    const int levels = file.levels();
    // Each decode may fail on its own; a failure must not hide the others.
    auto attempt = [&](auto&& run) {
        try {
            run();
        } catch (const Exception&) {
        } catch (const Error&) {
        }
    };
    attempt([&] {
        decodeInto(WavraNavigator::forRegion(file, true, 0, 0, 0, 0, 0), file);
    });
    // At full resolution: the centre, and the upper-left corner reaching
    // outside the image.
    attempt([&] {
        decodeInto(WavraNavigator::forRegion(file, false, 0, file.width() / 2, file.height() / 2, 64, 48), file);
    });
    attempt([&] { decodeInto(WavraNavigator::forRegion(file, false, 0, 5, 3, 40, 24), file); });
    // At the coarsest scale.
    attempt([&] {
        const int32_t w = int32_t((int64_t(file.width()) + (int64_t(1) << levels) - 1) >> levels);
        const int32_t h = int32_t((int64_t(file.height()) + (int64_t(1) << levels) - 1) >> levels);
        decodeInto(WavraNavigator::forRegion(file, false, levels, w / 2, h / 2, 16, 16), file);
    });
}

}  // namespace fuzz
