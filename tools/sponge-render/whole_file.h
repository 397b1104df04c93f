// A file read whole into memory, for the inputs sponge-render reads (a flight, a frame to
// resume from).
#pragma once

#include <string>

// The bytes of the file at path. False with *error, in a few words, when it cannot be read or
// is larger than most bytes (a device or a huge file named by mistake is refused, not read).
bool readWholeFile(const std::string& path, long long most, std::string* bytes, std::string* error);
