// Runs a program to completion and captures what it printed.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct ProgramResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

ProgramResult runProgram(const std::string& path, const std::vector<std::string>& args);

// runProgram with more control: its own environment, standard error on a
// pseudo-terminal, standard output into a file or closed, another user, and signals sent
// to its process group (as a terminal's Ctrl-C is) once its standard error shows a given
// state. The program never leaves a core file.
struct ProgramSession {
    std::vector<std::string> args;
    // Replaces the environment when set (each entry NAME=VALUE); otherwise inherited.
    bool replaceEnvironment = false;
    std::vector<std::string> environment;
    // Standard error on a pseudo-terminal instead of a pipe. The terminal turns "\n"
    // into "\r\n" on the way.
    bool stderrTerminal = false;
    // Standard output into this file instead of a pipe (e.g. /dev/full).
    std::string stdoutFile;
    // Standard output closed, as a launcher may start a program.
    bool closeStdout = false;
    // Run as this user and group (the tests must run as root for that); 0: as the tests.
    unsigned runAsUser = 0;
    // The most address space the program may have, in bytes; 0: no limit.
    unsigned long long addressSpaceLimit = 0;
    // The most processes and threads its user may have (RLIMIT_NPROC, which root ignores:
    // use with runAsUser); 0: no limit.
    unsigned long long processLimit = 0;
    // Where it runs; "": the tests' own folder.
    std::string workingDirectory;
    // Sent to the program's process group once, when sendWhen returns true for what has
    // arrived on standard error so far, ...
    int signal = 0;
    std::function<bool(const std::string& err)> sendWhen;
    // ... and then this one, thenAfterMs later.
    int thenSignal = 0;
    int thenAfterMs = 0;
};

ProgramResult runSession(const std::string& path, const ProgramSession& session);
