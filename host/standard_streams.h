// Standard input, output and error for programs that may be started with some closed.
#pragma once

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no file the
// program opens later (the display connection, a temporary file) takes its number and
// receives what is written to standard output. Call first thing in main. True when standard
// output was closed: what a program means to print there would be lost.
bool openStandardStreams();
