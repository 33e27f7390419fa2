#pragma once
// The message of what a piece of code throws, for tests that pin messages.

#include <functional>
#include <string>

#include "core/Error.h"
#include "core/Exception.h"

namespace testsupport {

// The message of the Error or Lumetra::Exception that `f` throws; "" when it
// throws nothing.
inline std::string thrownMessage(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.message();
    } catch (const Lumetra::Exception& e) {
        return e.what();
    }
    return "";
}

}  // namespace testsupport
