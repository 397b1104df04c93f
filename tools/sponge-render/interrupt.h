// Ctrl-C and SIGTERM as a request to stop after the frame in hand, so outputs can be
// closed in order (a video stays playable). A second signal ends the program at once.
#pragma once

// Installs the handlers. Also ignores SIGPIPE: a reader that goes away (ffmpeg failing,
// a closed pipe) should be reported as an error, not end the program silently.
void installInterruptHandlers();

bool interruptRequested();

// Exit status after an interruption: 128 + SIGINT, as shells report a Ctrl-C.
constexpr int INTERRUPTED_STATUS = 130;
