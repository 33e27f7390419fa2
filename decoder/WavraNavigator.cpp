#include "decoder/WavraNavigator.h"

#include <cmath>
#include <cstdint>

#include "core/Exception.h"
#include "decoder/WavraDecoder.h"
#include "imaging/pixels/ImageBuffer.h"

namespace Lumetra {

namespace {
const char* const kNegativeDimension =
    "Error construction a dimension object: Cannot have negative dimensions";
}

WavraNavigator::WavraNavigator(const WavraFile& file) : file_(file), scale_(file.levels()) {
    int32_t w = 0, h = 0;
    imageSizeAtScale(file_.width(), file_.height(), scale_, w, h);
    support_ = Rectangle::fromCorners(0, 0, w - 1, h - 1);
}

WavraNavigator::WavraNavigator(const WavraFile& file, int scale, const Rectangle& support)
    : file_(file), scale_(scale), support_(support) {
    const int64_t area =
        (int64_t(support.y1()) - support.y0() + 1) * (int64_t(support.x1()) - support.x0() + 1);
    if (area < 0) throw Exception("Error. Bogus support supplied to WavraNavigator constructor.");
}

WavraNavigator::WavraNavigator(const WavraNavigator& other)
    : file_(other.file_),
      scale_(other.scale_),
      support_(other.support_),
      interrupt_(other.interrupt_),
      progress_(other.progress_),
      threads_(other.threads_) {}

WavraNavigator& WavraNavigator::operator=(const WavraNavigator& other) {
    if (this != &other) {
        file_ = other.file_;
        scale_ = other.scale_;
        support_ = other.support_;
        interrupt_ = other.interrupt_;
        progress_ = other.progress_;
        threads_ = other.threads_;
        decoder_.reset();
    }
    return *this;
}

WavraNavigator::~WavraNavigator() = default;

WavraNavigator WavraNavigator::forRegion(const WavraFile& file, bool icon, int scale, int x, int y, int width,
                                         int height) {
    if (icon) {
        WavraNavigator nav(file);
        nav.setProgressHook(nullptr);
        return nav;
    }
    if (width < 0 || height < 0) throw GeometryException(kNegativeDimension);
    Rectangle support = Rectangle::fromCorners(x, y, x, y);
    support.resize(Dimension(width, height), AnchorCenter);  // 64-bit; throws when unrepresentable
    WavraNavigator nav(file, scale, support);
    nav.setProgressHook(nullptr);
    return nav;
}

void WavraNavigator::decode(ImageBuffer& buffer) {
    if (!decoder_) decoder_.reset(new WavraDecoder(file_));
    decoder_->setScale(scale_);
    decoder_->setSupport(support_);
    decoder_->setInterruptHook(interrupt_);
    decoder_->setProgressHook(progress_);
    decoder_->setThreads(threads_);
    const int64_t w = int64_t(support_.x1()) - support_.x0() + 1;
    const int64_t h = int64_t(support_.y1()) - support_.y0() + 1;
    if (w < 0 || h < 0) throw GeometryException(kNegativeDimension);
    buffer.setImageRect(Rectangle::fromCorners(0, 0, int32_t(w - 1), int32_t(h - 1)));
    buffer.begin();
    decoder_->initialise();
    decoder_->decode(buffer);
    decoder_->finish();
    buffer.end();
}

bool WavraNavigator::xPixelSize(double& value) const {
    value = file_.xResolution() * std::ldexp(1.0, scale_);
    return file_.isGeoreferenced();
}

bool WavraNavigator::yPixelSize(double& value) const {
    value = file_.yResolution() * std::ldexp(1.0, scale_);
    return file_.isGeoreferenced();
}

bool WavraNavigator::upperLeftX(double& value) const {
    const double xres = file_.xResolution();
    value = file_.xOrigin() - xres / 2 + (support_.x0() + 0.5) * xres * std::ldexp(1.0, scale_);
    return file_.isGeoreferenced();
}

bool WavraNavigator::upperLeftY(double& value) const {
    const double yres = file_.yResolution();
    value = file_.yOrigin() + yres / 2 - (support_.y0() + 0.5) * yres * std::ldexp(1.0, scale_);
    return file_.isGeoreferenced();
}

bool WavraNavigator::xRotation(double& value) const {
    value = file_.xRotation();
    return file_.isGeoreferenced();
}

bool WavraNavigator::yRotation(double& value) const {
    value = file_.yRotation();
    return file_.isGeoreferenced();
}

GeoReference WavraNavigator::geoReference() const {
    GeoReference g;
    g.present = xPixelSize(g.xPixelSize);
    yPixelSize(g.yPixelSize);
    upperLeftX(g.upperLeftX);
    upperLeftY(g.upperLeftY);
    xRotation(g.xRotation);
    yRotation(g.yRotation);
    return g;
}

}  // namespace Lumetra
