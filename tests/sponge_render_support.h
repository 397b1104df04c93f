// Helpers for the end-to-end tests of sponge-render: running it under a pseudo-terminal
// or with signals, fresh folders, and reading back what it wrote.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/run_program.h"

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

// The inherited environment with PATH replaced, e.g. by a folder without ffmpeg.
std::vector<std::string> environmentWithPath(const std::string& path);

// A fresh, empty folder under the tests' output folder, named after the running test.
std::string freshTestDir();

// ffprobe's view of a video's first stream: "key=value" lines (codec_name, width,
// height, pix_fmt, r_frame_rate, nb_read_frames). Empty when ffprobe cannot read it.
std::string probeVideo(const std::string& path);

// The value of one key in probeVideo's output, or "" when absent.
std::string probeField(const std::string& probe, const std::string& key);

// Names of the entries of a folder, sorted.
std::vector<std::string> listDir(const std::string& dir);

std::string readFile(const std::string& path);

// Decodes a PNG or PPM file and reports its size; false if it does not decode whole.
bool decodeImage(const std::string& path, int* width, int* height);

// The number that follows the last occurrence of before in text, or -1.
long long numberAfterLast(const std::string& text, const std::string& before);
