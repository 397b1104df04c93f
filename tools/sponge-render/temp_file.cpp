#include "tools/sponge-render/temp_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

int createTempBeside(const std::string& path, std::string* tempPath, std::string* error) {
    std::string temp = path + ".partial-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        *error = std::strerror(errno);
        return -1;
    }
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    *tempPath = temp;
    return fd;
}

bool checkWritableBeside(const std::string& path, std::string* error) {
    std::string temp;
    const int fd = createTempBeside(path, &temp, error);
    if (fd < 0) return false;
    close(fd);
    unlink(temp.c_str());
    return true;
}
