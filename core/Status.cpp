#include "core/Status.h"

namespace Lumetra {

const char* statusText(uint32_t code) {
    static const char* const standard[] = {
        "Success",
        "Failure",
        "Out of memory",
        "Null pointer exception",
        "Invalid argument passed to function",
        "Program interrupt encountered",
        "Invalid protocol",
        "Unknown colorspace",
    };
    const uint32_t table = (code >> 24) & 0xF;
    const uint32_t index = code & 0xFFFF;
    if (table == 1 && index < sizeof(standard) / sizeof(standard[0])) return standard[index];
    return nullptr;
}

}  // namespace Lumetra
