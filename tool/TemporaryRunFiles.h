#pragma once
// The run's temporary name and the two files made from it: the raw image
// (".bip") and its text header (".hdr"). The name is unset until the
// extraction run reserves one, so cleaning up before that does nothing.

#include "core/FileSpecification.h"
#include "core/TemporaryName.h"

class TemporaryRunFiles {
public:
    TemporaryRunFiles() = default;
    TemporaryRunFiles(const TemporaryRunFiles&) = delete;
    TemporaryRunFiles& operator=(const TemporaryRunFiles&) = delete;

    // Reserves a fresh name in the temporary directory (TMP, else the
    // current directory) and returns it; the bare reserved file goes away
    // with this object. Throws Error when no name can be had.
    const Lumetra::FileSpecification& reserve();

    // The temporary name; the unset value before reserve().
    const Lumetra::FileSpecification& name() const { return reservation_.name(); }
    bool isReserved() const { return reservation_.isReserved(); }
    // The name with extension "bip" and "hdr".
    Lumetra::FileSpecification rawFile() const { return name().setExtension("bip"); }
    Lumetra::FileSpecification headerFile() const { return name().setExtension("hdr"); }

    // Deletes the raw file and its header if they exist, without a word.
    void removeRawFiles() const;

private:
    Lumetra::TemporaryReservation reservation_;
};
