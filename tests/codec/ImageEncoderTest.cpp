#include "encoder/codec/ImageEncoder.h"

#include "CodecScratchDir.h"
#include "EncoderRoundTrip.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "encoder/rawimage/BBBImage.h"
#include "format/WavraFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using namespace codectest;

struct Encoded {
    std::string path;
};

std::string encodePicture(const ScratchDir& dir, const Picture& p, int nlev, float rate, bool dither = true,
                          int blockSize = 512) {
    const std::string raw = writeRawPicture(dir.path(), "input", p);
    BBBImage image(raw.c_str());
    const Lumetra::FileSpecification tmp(dir.path());
    ImageEncoder encoder(image, nlev, blockSize, rate, &tmp, nullptr, nullptr, 4.0f, 2.0f, dither, 0.25f);
    encoder.setWriteWorldFile(false);
    const std::string out = dir.file("out.wvr");
    encoder.encode(out.c_str());
    return out;
}

TEST(ImageEncoder, greyPictureDecodesAtEveryScale) {
    ScratchDir dir;
    const Picture p = generatePicture(700, 530, 1, false);
    const std::string out = encodePicture(dir, p, 4, 2.0f);
    Lumetra::WavraFile file(out.c_str());
    EXPECT_EQ(file.width(), 700);
    EXPECT_EQ(file.height(), 530);
    EXPECT_EQ(file.levels(), 4);
    for (int s = 0; s <= 4; ++s) {
        const Picture d = decodeAtScale(file, s);
        const double q = psnr(d, reduce(p, s));
        EXPECT_GT(q, 30.0) << "scale " << s;
        std::printf("scale %d psnr %.2f\n", s, q);
    }
}

}  // namespace
