// The frame-rate line as the programs print it.
#pragma once

#include <cstdio>

// A FrameHost::reportLine: the line on standard output, flushed, so that a pipe sees each
// line as it happens.
inline void printReportLine(void*, const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}
