// Runs a program to completion and captures what it printed.
#pragma once

#include <string>
#include <vector>

struct ProgramResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

ProgramResult runProgram(const std::string& path, const std::vector<std::string>& args);
