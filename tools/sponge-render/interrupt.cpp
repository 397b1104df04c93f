#include "tools/sponge-render/interrupt.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace {

volatile sig_atomic_t requestedBy = 0;  // the first stopping signal, 0 before one came

// The handler reads these; they are written with the signals blocked (SignalsHeld) or in an
// order that keeps every state the handler can see consistent.
constexpr int TEMPORARY_SLOTS = 4;
char temporaryPath[TEMPORARY_SLOTS][PATH_MAX];
volatile sig_atomic_t temporaryUsed[TEMPORARY_SLOTS] = {};
volatile pid_t child = 0;

// Signals that ask to stop in order.
constexpr int STOPPING[] = {SIGINT, SIGTERM, SIGHUP};

// Signals whose default action ends the program, which therefore end it at once. The
// faults are left to AddressSanitizer's own handlers in the sanitizer build.
constexpr int ENDING[] = {SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGIO,
                          SIGPWR,  SIGSYS,  SIGTRAP, SIGABRT, SIGSTKFLT,
#ifndef __SANITIZE_ADDRESS__
                          SIGSEGV, SIGBUS,  SIGFPE,  SIGILL
#endif
};

// Async-signal-safe: kill and unlink only.
void cleanUp() {
    if (child > 0) kill(child, SIGKILL);
    for (int i = 0; i < TEMPORARY_SLOTS; ++i) {
        if (temporaryUsed[i]) unlink(temporaryPath[i]);
    }
}

void onStoppingSignal(int sig) {
    if (requestedBy == 0) {
        requestedBy = sig;
        return;
    }
    cleanUp();
    _exit(128 + sig);
}

void onEndingSignal(int sig) {
    cleanUp();
    // Then the signal's own end (a core dump for some), which the caller sees as such.
    signal(sig, SIG_DFL);
    raise(sig);
}

void addAll(sigset_t* set) {
    sigemptyset(set);
    for (const int sig : STOPPING) sigaddset(set, sig);
    for (const int sig : ENDING) sigaddset(set, sig);
}

}  // namespace

void installInterruptHandlers() {
    struct sigaction action = {};
    addAll(&action.sa_mask);  // one handler at a time
    // Restarted calls keep a write to ffmpeg or a wait for it from failing with EINTR.
    action.sa_flags = SA_RESTART;
    action.sa_handler = onStoppingSignal;
    for (const int sig : STOPPING) sigaction(sig, &action, nullptr);
    action.sa_handler = onEndingSignal;
    for (const int sig : ENDING) sigaction(sig, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool interruptRequested() { return requestedBy != 0; }

int interruptedStatus() { return 128 + requestedBy; }

SignalsHeld::SignalsHeld() {
    sigset_t all;
    addAll(&all);
    sigprocmask(SIG_BLOCK, &all, &saved_);
}

SignalsHeld::~SignalsHeld() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

bool registerTemporaryFile(const std::string& path) {
    if (path.size() >= PATH_MAX) return false;
    for (int i = 0; i < TEMPORARY_SLOTS; ++i) {
        if (temporaryUsed[i]) continue;
        std::memcpy(temporaryPath[i], path.c_str(), path.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);  // the path before its flag
        temporaryUsed[i] = 1;
        return true;
    }
    return false;
}

void forgetTemporaryFile(const std::string& path) {
    for (int i = 0; i < TEMPORARY_SLOTS; ++i) {
        if (temporaryUsed[i] && path == temporaryPath[i]) temporaryUsed[i] = 0;
    }
}

void registerChild(pid_t pid) { child = pid; }

void forgetChild() { child = 0; }
