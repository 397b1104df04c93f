#include "tools/sponge-render/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/sponge-render/interrupt.h"

namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// path with its symbolic links followed, also a dangling one to where it points.
bool followLinks(const std::string& path, std::string* resolved, std::string* error) {
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *resolved = at;
            return true;
        }
        char link[PATH_MAX];
        const ssize_t n = readlink(at.c_str(), link, sizeof link - 1);
        if (n < 0) {
            *error = std::strerror(errno);
            return false;
        }
        const std::string to(link, static_cast<size_t>(n));
        at = to[0] == '/' ? to : folderOf(at) + "/" + to;
    }
    *error = std::strerror(ELOOP);
    return false;
}

}  // namespace

std::string temporaryNameFor(const std::string& name, long nameMax) {
    const std::string suffix = ".partial-XXXXXX";
    return static_cast<long>(name.size() + suffix.size()) <= nameMax ? name + suffix : suffix;
}

bool prepareFileTarget(const std::string& path, FileTarget* target, std::string* error) {
    std::string resolved;
    if (!followLinks(path, &resolved, error)) return false;
    const std::string folder = folderOf(resolved);
    struct stat st;
    if (stat(resolved.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            *error = "it is a folder";
            return false;
        }
        if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
            if (access(resolved.c_str(), W_OK) != 0) {
                *error = std::strerror(errno);
                return false;
            }
            *target = {resolved, true};
            return true;
        }
        if (!S_ISREG(st.st_mode)) {
            *error = "it is neither a regular file nor a FIFO or a device";
            return false;
        }
        // Even root, who may write anything, is told: a read-only file is meant to stay.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(resolved.c_str(), W_OK) != 0) {
            *error = "it is read-only; remove it or make it writable to replace it";
            return false;
        }
        struct stat dir;
        if (stat(folder.c_str(), &dir) == 0 && (dir.st_mode & S_ISVTX) != 0 && geteuid() != 0 &&
            st.st_uid != geteuid() && dir.st_uid != geteuid()) {
            *error = "it belongs to another user, and in this folder only a file's owner may replace it";
            return false;
        }
    } else if (errno != ENOENT) {
        *error = std::strerror(errno);
        return false;
    }
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    const long nameMax = pathconf(folder.c_str(), _PC_NAME_MAX);
    if (static_cast<long>(nameOf(resolved).size()) > (nameMax > 0 ? nameMax : NAME_MAX) ||
        resolved.size() >= PATH_MAX) {
        *error = std::strerror(ENAMETOOLONG);
        return false;
    }
    *target = {resolved, false};
    return true;
}

bool OutputFile::create(const FileTarget& target, std::string* error) {
    target_ = target;
    if (target.stream) {
        fd_ = open(target.path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) *error = std::strerror(errno);
        return fd_ >= 0;
    }
    const std::string folder = folderOf(target.path);
    const long nameMax = pathconf(folder.c_str(), _PC_NAME_MAX);
    std::string temp = folder + "/" + temporaryNameFor(nameOf(target.path), nameMax > 0 ? nameMax : NAME_MAX);
    {
        // A signal that ends the program at once must find the file registered.
        SignalsHeld held;
        fd_ = mkostemp(temp.data(), O_CLOEXEC);
        if (fd_ < 0) {
            *error = std::strerror(errno);
            return false;
        }
        if (!registerTemporaryFile(temp)) {
            *error = "too many temporary files";
            close(fd_);
            fd_ = -1;
            unlink(temp.c_str());
            return false;
        }
    }
    temp_ = temp;
    // mkstemp's own mode is 0600; give the file the mode a plain create would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
    return true;
}

void OutputFile::closeDescriptor() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

namespace {

// Flushes a file that is no longer open here to disk, by name.
int syncByName(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int err = fsync(fd) == 0 ? 0 : errno;
    close(fd);
    return err;
}

// Flushes the folder, which holds the file's name.
void syncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // a folder some file systems cannot flush is no reason to fail the file
    close(fd);
}

}  // namespace

bool OutputFile::commit(std::string* error) {
    int err = 0;
    if (!target_.stream && fd_ >= 0 && fsync(fd_) != 0) err = errno;
    if (fd_ >= 0 && close(fd_) != 0 && err == 0) err = errno;
    const bool closedHere = fd_ >= 0;
    fd_ = -1;
    if (err == 0 && !closedHere && !temp_.empty()) err = syncByName(temp_);  // written by another program
    if (err != 0) {
        *error = std::strerror(err);
        discard();
        return false;
    }
    if (temp_.empty()) return true;  // a stream
    if (std::rename(temp_.c_str(), target_.path.c_str()) != 0) {
        // Complete, only not where it was asked for: kept, and said where.
        *error = std::string(std::strerror(errno)) + "; the complete file is kept as '" + temp_ + "'";
        forgetTemporaryFile(temp_);
        temp_.clear();
        return false;
    }
    forgetTemporaryFile(temp_);
    temp_.clear();
    syncFolder(folderOf(target_.path));
    return true;
}

bool OutputFile::discard(std::string* leftover) {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    bool removed = true;
    if (!temp_.empty()) {
        if (unlink(temp_.c_str()) != 0 && errno != ENOENT) {
            removed = false;
            if (leftover) *leftover = "cannot remove '" + temp_ + "': " + std::strerror(errno);
        }
        forgetTemporaryFile(temp_);
        temp_.clear();
    }
    return removed;
}
