#include "tool/TemporaryRunFiles.h"

#include <cstdio>

const std::string& TemporaryRunFiles::reserve() {
    reservation_ = wavra::TemporaryName("");
    return reservation_.path();
}

void TemporaryRunFiles::removeRawFiles() const {
    if (!isReserved()) return;
    std::remove(rawFile().c_str());
    std::remove(headerFile().c_str());
}
