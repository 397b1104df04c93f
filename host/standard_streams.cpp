#include "host/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

bool reopenIfClosed(int fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) return false;
    // The lowest free number is fd itself: the ones below it are open by now.
    const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
        dup2(opened, fd);
        close(opened);
    }
    return true;
}

}  // namespace

bool openStandardStreams() {
    // In order: a closed 0 must be taken before 1 and 2 are looked at (see reopenIfClosed).
    reopenIfClosed(0);
    const bool outputClosed = reopenIfClosed(1);
    reopenIfClosed(2);
    return outputClosed;
}
