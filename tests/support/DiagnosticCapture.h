#pragma once
// Collects the library's diagnostic lines for as long as it lives.

#include <string>

#include "wavra/diagnostics.h"

namespace testsupport {

class DiagnosticCapture {
public:
    DiagnosticCapture() {
        wavra::setDiagnosticHandler([this](const std::string& text) { text_ += text; });
    }
    ~DiagnosticCapture() { wavra::setDiagnosticHandler(nullptr); }
    DiagnosticCapture(const DiagnosticCapture&) = delete;
    DiagnosticCapture& operator=(const DiagnosticCapture&) = delete;

    // What arrived since the last call.
    std::string take() {
        std::string text;
        text.swap(text_);
        return text;
    }

private:
    std::string text_;
};

}  // namespace testsupport
