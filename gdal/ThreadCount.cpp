#include "ThreadCount.h"

#include <algorithm>
#include <cstdlib>

#include "cpl_conv.h"
#include "cpl_string.h"

namespace wavragdal {

int threadsFromConfig() {
    const char* value = CPLGetConfigOption("GDAL_NUM_THREADS", "1");
    if (EQUAL(value, "ALL_CPUS")) return 0;
    const int n = std::atoi(value);
    return n >= 1 ? std::min(n, 256) : 1;
}

}  // namespace wavragdal
