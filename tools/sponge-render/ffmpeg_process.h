// ffmpeg as a child process: raw frames in through a pipe, its messages kept aside so a
// failure can be reported with ffmpeg's own reason.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// The ffmpeg that PATH names, or "" when there is none.
std::string findFfmpeg();

struct FfmpegProcess {
    pid_t pid = -1;
    int input = -1;           // write end of ffmpeg's standard input
    FILE* log = nullptr;      // ffmpeg's standard output and error
};

// Starts program with args in a process group of its own, so a Ctrl-C at the terminal
// reaches only sponge-render, which then ends the stream in order and lets ffmpeg write
// a complete file.
bool startFfmpeg(const std::string& program, const std::vector<std::string>& args, FfmpegProcess* process,
                 std::string* error);

// Closes ffmpeg's input and waits for it. False with *error holding its exit status and
// last messages unless it exited with status 0.
bool finishFfmpeg(FfmpegProcess* process, std::string* error);

// Runs program with args to its end, with nothing on its standard input. False with *error
// (its exit status and last messages, or why it could not start) unless it exited with 0.
bool runFfmpeg(const std::string& program, const std::vector<std::string>& args, std::string* error);

// Writes every byte, riding over short writes and interrupted calls. False with *err set
// to errno on failure (EPIPE when the reader has gone).
bool writeAll(int fd, const void* data, size_t bytes, int* err);
