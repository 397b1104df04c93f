#include "tools/sponge-render/whole_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool readWholeFile(const std::string& path, long long most, std::string* bytes, std::string* error) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        *error = std::strerror(errno);
        return false;
    }
    std::string read;
    char chunk[1 << 16];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        read.append(chunk, n);
        if (static_cast<long long>(read.size()) > most) {
            std::fclose(file);
            *error = "larger than " + std::to_string(most) + " bytes";
            return false;
        }
    }
    const bool failed = std::ferror(file) != 0;
    const int err = errno;
    std::fclose(file);
    if (failed) {
        *error = std::strerror(err);
        return false;
    }
    *bytes = std::move(read);
    return true;
}
