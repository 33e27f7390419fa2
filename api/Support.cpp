#include <mutex>

#include "api/Library.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "core/TemporaryName.h"
#include "core/WorkerPool.h"
#include "imaging/transform/TransformerRegistry.h"

namespace wavra {

namespace detail {

void prepare() {
    static std::once_flag once;
    std::call_once(once, [] { Lumetra::registerStandardFactories(); });
}

void Cancellation::ask() {
    if (progress_ && !progress_(last_)) throw Lumetra::Interrupt();
}

void Cancellation::report(double fraction) {
    last_ = start_ + fraction * (end_ - start_);
    reported_ = true;
    ask();
}

int Cancellation::poll() {
    if (reported_) ask();
    return 0;
}

std::function<void(float)> Cancellation::reportHook() {
    if (!active()) return nullptr;
    return [this](float fraction) { report(double(fraction)); };
}

std::function<int()> Cancellation::pollHook() {
    if (!active()) return nullptr;
    return [this] { return poll(); };
}

GeoReference publicGeoReference(const Lumetra::GeoReference& g) {
    GeoReference out;
    out.present = g.present;
    out.xPixelSize = g.xPixelSize;
    // The navigator names the rotations by their world-file lines: its x
    // rotation is line 2 (D), its y rotation line 3 (B).
    out.yRotation = g.xRotation;
    out.xRotation = g.yRotation;
    out.yPixelSize = -g.yPixelSize;
    out.upperLeftX = g.upperLeftX;
    out.upperLeftY = g.upperLeftY;
    return out;
}

}  // namespace detail

void throwInterrupt() { throw Lumetra::Interrupt(); }

void throwWriteError(const std::string& path) { throw WriteError(path); }

void setThreadStart(void (*start)()) { Lumetra::WorkerPool::setThreadStart(start); }

struct TemporaryName::Body {
    Lumetra::TemporaryReservation reservation;
};

TemporaryName::TemporaryName() = default;

TemporaryName::TemporaryName(const std::string& folder) : body_(std::make_unique<Body>()) {
    const Lumetra::FileSpecification directory(folder);
    body_->reservation = Lumetra::TemporaryReservation(folder.empty() ? nullptr : &directory);
    path_ = body_->reservation.name().str();
}

TemporaryName::~TemporaryName() = default;

TemporaryName::TemporaryName(TemporaryName&& other) noexcept
    : body_(std::move(other.body_)), path_(std::move(other.path_)) {
    other.path_.clear();
}

TemporaryName& TemporaryName::operator=(TemporaryName&& other) noexcept {
    if (this != &other) {
        body_ = std::move(other.body_);  // releases the name held so far
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

}  // namespace wavra
