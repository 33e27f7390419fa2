#include "tool/TemporaryRunFiles.h"

const Lumetra::FileSpecification& TemporaryRunFiles::reserve() {
    reservation_ = Lumetra::TemporaryReservation(nullptr);
    return reservation_.name();
}

void TemporaryRunFiles::removeRawFiles() const {
    if (!isReserved()) return;
    rawFile().removeQuietly();
    headerFile().removeQuietly();
}
