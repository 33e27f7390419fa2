#pragma once
// SIGINT and SIGTERM during the part of a run that makes files: while a
// window is armed the signals only raise a flag, which the decoder's and
// encoder's interrupt hooks poll, so the run stops through its ordinary
// failure path and removes what it made. Outside an armed window the
// signals keep the dispositions the process started with.

#include "wavra/wavra.h"

// The message of a run stopped by a signal.
extern const char* const kInterruptedMessage;

// Non-zero once SIGINT or SIGTERM arrived in an armed window (the shape of
// the decoder's and encoder's interrupt hooks).
int interruptRequested();

// Throws the library's interrupt error when interruptRequested().
void throwIfInterrupted();

class ProgressPrinter;

// A library progress that asks the run to stop once a signal came, updating
// `printer` on the way when one is given.
wavra::Progress progressUntilInterrupted(ProgressPrinter* printer = nullptr);

// Writes one failure line on stderr: "Interrupted." for a stopped run, else
// the message, ending in exactly one newline.
void printFailure(const char* message);

// Ignores SIGXFSZ and SIGPIPE for the whole process, so a write past the
// file-size limit, or to a pipe whose reader has gone, fails with an error
// the run reports (and cleans up after) instead of killing the process with
// its temporary files left behind. Every program calls it first.
void ignoreWriteFailureSignals();

class InterruptWindow {
public:
    InterruptWindow() = default;
    // Disarms.
    ~InterruptWindow();
    InterruptWindow(const InterruptWindow&) = delete;
    InterruptWindow& operator=(const InterruptWindow&) = delete;

    // Clears the flag and installs the flag-setting handler for each of the
    // two signals that is not ignored (a run started with SIGINT ignored
    // stays deaf to it).
    void arm();
    // Restores the earlier dispositions; the flag stays as it is.
    void disarm();

private:
    bool armed_ = false;
};
