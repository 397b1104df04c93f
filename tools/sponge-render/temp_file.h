// Files that appear whole or not at all: written under a temporary name beside their
// final path, then renamed over it.
#pragma once

#include <string>

// Creates an empty file named after path in the same folder, with the mode a plain
// create would give (mkstemp's own is 0600). Returns its descriptor and sets *tempPath,
// or returns -1 with *error set to the reason.
int createTempBeside(const std::string& path, std::string* tempPath, std::string* error);

// Whether files can be made beside path, found by making and removing one, so a long
// render does not fail only when its first file is due.
bool checkWritableBeside(const std::string& path, std::string* error);
