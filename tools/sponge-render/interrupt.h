// Signals. Ctrl-C, SIGTERM and SIGHUP (the terminal closed) ask to stop after the frame in
// hand, so that outputs can be closed in order (a video stays playable); a second one ends
// the program at once. Any other signal that would end the program ends it at once. Ending
// at once kills ffmpeg and removes the temporary files first, so nothing is left behind.
#pragma once

#include <sys/types.h>

#include <string>

// Installs the handlers. Also ignores SIGPIPE: a reader that goes away (ffmpeg failing,
// a closed pipe) should be reported as an error, not end the program silently.
void installInterruptHandlers();

bool interruptRequested();

// After an interruption: 128 + the number of the signal that asked for it, as shells report.
int interruptedStatus();

// Blocks every signal handled above while a temporary file or a child is created and
// registered, so that none can arrive in between.
class SignalsHeld {
public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t saved_;
};

// What ending at once must clean up. A few temporary files and one child at a time.
bool registerTemporaryFile(const std::string& path);
void forgetTemporaryFile(const std::string& path);
void registerChild(pid_t pid);
void forgetChild();
