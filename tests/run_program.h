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
// pseudo-terminal, standard output into a file, and a signal sent to its process group
// (as a terminal's Ctrl-C is) once its standard error shows a given state.
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
    // Sent to the program's process group once, when sendWhen returns true for what has
    // arrived on standard error so far.
    int signal = 0;
    std::function<bool(const std::string& err)> sendWhen;
};

ProgramResult runSession(const std::string& path, const ProgramSession& session);
