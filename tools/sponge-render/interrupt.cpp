#include "tools/sponge-render/interrupt.h"

#include <signal.h>

namespace {

volatile sig_atomic_t requested = 0;

void onSignal(int sig) {
    if (requested) {
        // Only async-signal-safe calls here: hand the signal back to its default action.
        signal(sig, SIG_DFL);
        raise(sig);
        return;
    }
    requested = 1;
}

}  // namespace

void installInterruptHandlers() {
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Restarted calls keep a write to ffmpeg or a wait for it from failing with EINTR.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool interruptRequested() { return requested != 0; }
