#include "tools/sponge-render/ffmpeg_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/sponge-render/interrupt.h"

extern char** environ;

namespace {

bool isExecutableFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The last few lines ffmpeg wrote, on one line; the reason is usually among them.
std::string lastMessages(FILE* log) {
    std::string text;
    if (log) {
        std::rewind(log);
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, log)) > 0) text.append(chunk, n);
    }
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    std::string joined;
    for (size_t i = lines.size() > 3 ? lines.size() - 3 : 0; i < lines.size(); ++i) {
        if (!joined.empty()) joined += " / ";
        joined += lines[i];
    }
    return joined.empty() ? "no message" : joined;
}

}  // namespace

std::string findFfmpeg() {
    const char* env = std::getenv("PATH");
    const std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        const std::string dir = end > start ? path.substr(start, end - start) : ".";
        const std::string candidate = dir + "/ffmpeg";
        if (isExecutableFile(candidate)) return candidate;
        start = end + 1;
    }
    return "";
}

bool startFfmpeg(const std::string& program, const std::vector<std::string>& args, FfmpegProcess* process,
                 std::string* error) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    FILE* log = std::tmpfile();
    if (!log) {
        *error = std::strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    fcntl(fileno(log), F_SETFD, FD_CLOEXEC);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fileno(log), 1);
    posix_spawn_file_actions_adddup2(&actions, fileno(log), 2);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setpgroup(&attr, 0);
    // sponge-render ignores SIGPIPE to see EPIPE instead; ffmpeg should start as usual.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGHUP);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid;
    int rc;
    {
        // A signal that ends sponge-render at once must find ffmpeg registered, to end it too.
        SignalsHeld held;
        rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
        if (rc == 0) registerChild(pid);
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(fds[0]);
    if (rc != 0) {
        *error = "cannot start " + program + ": " + std::strerror(rc);
        close(fds[1]);
        std::fclose(log);
        return false;
    }
    process->pid = pid;
    process->input = fds[1];
    process->log = log;
    return true;
}

bool finishFfmpeg(FfmpegProcess* process, std::string* error) {
    if (process->input >= 0) close(process->input);
    process->input = -1;
    int status = 0;
    pid_t got;
    do {
        got = waitpid(process->pid, &status, 0);
    } while (got < 0 && errno == EINTR);
    forgetChild();
    process->pid = -1;
    bool ok = got > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!ok) {
        const std::string how = got <= 0             ? std::string("could not be waited for")
                                : WIFEXITED(status) ? "exited with status " + std::to_string(WEXITSTATUS(status))
                                                    : "was killed by signal " + std::to_string(WTERMSIG(status));
        *error = "ffmpeg " + how + ": " + lastMessages(process->log);
    }
    if (process->log) std::fclose(process->log);
    process->log = nullptr;
    return ok;
}

bool runFfmpeg(const std::string& program, const std::vector<std::string>& args, std::string* error) {
    FfmpegProcess process;
    if (!startFfmpeg(program, args, &process, error)) return false;
    return finishFfmpeg(&process, error);
}

bool writeAll(int fd, const void* data, size_t bytes, int* err) {
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t n = write(fd, p, bytes);
        if (n < 0) {
            if (errno == EINTR) continue;
            *err = errno;
            return false;
        }
        p += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}
