#pragma once
// Temporary file names: TMP (quotes removed) if it names an existing
// directory, else ".", else "/"; the name is that directory + "/tmp" + a
// number not in use.

#include "core/FileSpecification.h"

namespace Lumetra {

// The directory temporary files go to when none is given.
std::string temporaryDirectory();

// A free name "<dir>/tmpN" (N counting up from a process-wide counter).
// Only the name is produced. Throws Error "Error creating temporary file.\n".
FileSpecification temporaryName();

// The same inside the given directory, which must exist, else Error
// "Error: specified temporary directory \"%s\" is not accessible or does not exist.".
FileSpecification temporaryName(const FileSpecification& directory);

// A temporary name reserved atomically: the bare name is created
// exclusively, so concurrent processes never pick the same N. The
// reservation (the bare file) is removed when the object is destroyed;
// files derived from the name (name.bip, ...) stay the owner's business.
class TemporaryReservation {
public:
    TemporaryReservation() = default;
    explicit TemporaryReservation(const FileSpecification* directory);
    ~TemporaryReservation();
    TemporaryReservation(TemporaryReservation&& other) noexcept;
    TemporaryReservation& operator=(TemporaryReservation&& other) noexcept;
    TemporaryReservation(const TemporaryReservation&) = delete;
    TemporaryReservation& operator=(const TemporaryReservation&) = delete;

    const FileSpecification& name() const { return name_; }
    bool isReserved() const { return name_.isInitialized(); }
    void release();

private:
    FileSpecification name_;
};

}  // namespace Lumetra
