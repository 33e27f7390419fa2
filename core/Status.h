#pragma once
// Status codes: bits 24..27 select a message table, the low 16 bits index it.

#include <cstdint>

namespace Lumetra {

enum StatusCode : uint32_t {
    StatusSuccess = 0x1000000,
    StatusFailure = 0x1000001,
    StatusOutOfMemory = 0x1000002,
    StatusNullPointer = 0x1000003,
    StatusInvalidArgument = 0x1000004,
    StatusInterrupt = 0x1000005,
    StatusInvalidProtocol = 0x1000006,
    StatusUnknownColorspace = 0x1000007
};

// The message of a status code, or nullptr when no table holds one.
const char* statusText(uint32_t code);

}  // namespace Lumetra
