#pragma once
// The threads a decode or an encode of the driver may use.

// After GDAL_NUM_THREADS: ALL_CPUS 0 (the library's "online cores"), a
// number that many (at most 256), anything else (and unset) one.
namespace wavragdal {

int threadsFromConfig();

}  // namespace wavragdal
