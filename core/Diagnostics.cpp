#include <mutex>

#include "wavra/diagnostics.h"

namespace wavra {
namespace {

std::mutex& handlerLock() {
    static std::mutex lock;
    return lock;
}

DiagnosticHandler& currentHandler() {
    static DiagnosticHandler handler;
    return handler;
}

}  // namespace

void setDiagnosticHandler(DiagnosticHandler handler) {
    std::lock_guard<std::mutex> guard(handlerLock());
    currentHandler() = std::move(handler);
}

void diagnostic(const std::string& text) {
    std::lock_guard<std::mutex> guard(handlerLock());
    if (currentHandler()) currentHandler()(text);
}

}  // namespace wavra
