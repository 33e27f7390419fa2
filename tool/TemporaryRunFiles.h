#pragma once
// The run's temporary name and the two files made from it: the raw image
// (".bip") and its text header (".hdr"). The name is unset until the
// extraction run reserves one, so cleaning up before that does nothing.

#include <string>

#include "wavra/wavra.h"

class TemporaryRunFiles {
public:
    TemporaryRunFiles() = default;
    TemporaryRunFiles(const TemporaryRunFiles&) = delete;
    TemporaryRunFiles& operator=(const TemporaryRunFiles&) = delete;

    // Reserves a fresh name in the temporary directory (TMP, else the
    // current directory) and returns it; the bare reserved file goes away
    // with this object. Throws wavra::Error when no name can be had.
    const std::string& reserve();

    // The temporary name; "" before reserve().
    const std::string& name() const { return reservation_.path(); }
    bool isReserved() const { return reservation_.isReserved(); }
    // The name with extension "bip" and "hdr".
    std::string rawFile() const { return name() + ".bip"; }
    std::string headerFile() const { return name() + ".hdr"; }

    // Deletes the raw file and its header if they exist, without a word.
    void removeRawFiles() const;

private:
    wavra::TemporaryName reservation_;
};
