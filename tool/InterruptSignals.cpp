#include "tool/InterruptSignals.h"

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "tool/ProgressPrinter.h"
#include "wavra/wavra.h"

const char* const kInterruptedMessage = "Interrupted.";

namespace {

// Set by the handler, read by every thread of a batch run.
std::atomic<int> g_interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

constexpr int kSignals[] = {SIGINT, SIGTERM};
constexpr int kSignalCount = int(sizeof kSignals / sizeof kSignals[0]);

struct sigaction g_previous[kSignalCount];
bool g_installed[kSignalCount] = {};

// Only the flag: everything else happens where the run polls it.
extern "C" void onInterruptSignal(int) { g_interrupted = 1; }

}  // namespace

void ignoreWriteFailureSignals() {
    ::signal(SIGXFSZ, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
}

int interruptRequested() { return g_interrupted != 0 ? 1 : 0; }

void throwIfInterrupted() {
    if (interruptRequested()) wavra::throwInterrupt();
}

wavra::Progress progressUntilInterrupted(ProgressPrinter* printer) {
    return [printer](double fraction) {
        if (printer) printer->update(float(fraction));
        return interruptRequested() == 0;
    };
}

void printFailure(const char* message) {
    const char* text = interruptRequested() ? kInterruptedMessage : message;
    const size_t n = std::strlen(text);
    std::fprintf(stderr, n && text[n - 1] == '\n' ? "%s" : "%s\n", text);
}

InterruptWindow::~InterruptWindow() { disarm(); }

void InterruptWindow::arm() {
    if (armed_) return;
    armed_ = true;
    // Each run answers only the signals sent while it runs.
    g_interrupted = 0;
    for (int k = 0; k < kSignalCount; ++k) {
        struct sigaction current;
        g_installed[k] = false;
        if (::sigaction(kSignals[k], nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
        struct sigaction action = {};
        action.sa_handler = onInterruptSignal;
        sigemptyset(&action.sa_mask);
        // Reads and writes of the run's files resume after the handler; the
        // hooks stop the run at their next poll.
        action.sa_flags = SA_RESTART;
        g_installed[k] = ::sigaction(kSignals[k], &action, &g_previous[k]) == 0;
    }
}

void InterruptWindow::disarm() {
    if (!armed_) return;
    armed_ = false;
    for (int k = 0; k < kSignalCount; ++k)
        if (g_installed[k]) {
            ::sigaction(kSignals[k], &g_previous[k], nullptr);
            g_installed[k] = false;
        }
}
