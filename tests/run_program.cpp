#include "tests/run_program.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

extern char** environ;

ProgramResult runProgram(const std::string& path, const std::vector<std::string>& args) {
    ProgramSession session;
    session.args = args;
    return runSession(path, session);
}

ProgramResult runSession(const std::string& path, const ProgramSession& session) {
    int outPipe[2], errFds[2];
    if (pipe(outPipe) != 0) std::abort();
    if (session.stderrTerminal) {
        if (openpty(&errFds[0], &errFds[1], nullptr, nullptr, nullptr) != 0) std::abort();
    } else if (pipe(errFds) != 0) {
        std::abort();
    }

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& a : session.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : session.environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        const rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        if (session.addressSpaceLimit != 0) {
            const rlimit space = {session.addressSpaceLimit, session.addressSpaceLimit};
            setrlimit(RLIMIT_AS, &space);
        }
        if (session.processLimit != 0) {
            const rlimit processes = {session.processLimit, session.processLimit};
            setrlimit(RLIMIT_NPROC, &processes);
        }
        if (!session.workingDirectory.empty() && chdir(session.workingDirectory.c_str()) != 0) _exit(126);
        if (session.runAsUser != 0 && (setgid(session.runAsUser) != 0 || setuid(session.runAsUser) != 0)) _exit(126);
        if (session.closeStdout) {
            close(1);
        } else if (!session.stdoutFile.empty()) {
            const int fd = open(session.stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0) _exit(126);
            dup2(fd, 1);
            close(fd);
        } else {
            dup2(outPipe[1], 1);
        }
        dup2(errFds[1], 2);
        close(outPipe[0]);
        close(outPipe[1]);
        close(errFds[0]);
        close(errFds[1]);
        execve(path.c_str(), argv.data(), session.replaceEnvironment ? envp.data() : environ);
        _exit(127);
    }
    setpgid(pid, pid);
    close(outPipe[1]);
    close(errFds[1]);

    ProgramResult result;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errFds[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    bool sent = session.signal == 0;
    bool thenSent = session.thenSignal == 0;
    std::chrono::steady_clock::time_point sentAt;
    while (open > 0) {
        // A condition or a second signal pending is looked at every few milliseconds, also
        // while the program writes nothing.
        const bool watching = (!sent && session.sendWhen) || (sent && !thenSent);
        const int waitMs = watching ? 10 : 600000;
        // A safety net against a hung program, far beyond any test's need; not a timing test.
        if (poll(fds, 2, waitMs) == 0 && waitMs == 600000) {
            kill(-pid, SIGKILL);
            ADD_FAILURE() << "program did not finish";
            break;
        }
        if (sent && !thenSent &&
            std::chrono::steady_clock::now() - sentAt >= std::chrono::milliseconds(session.thenAfterMs)) {
            kill(-pid, session.thenSignal);
            thenSent = true;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char chunk[4096];
            const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
            if (n > 0) {
                sinks[i]->append(chunk, static_cast<size_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                // A pseudo-terminal reports the last writer's close as EIO rather than EOF.
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
        if (!sent && session.sendWhen && session.sendWhen(result.err)) {
            kill(-pid, session.signal);
            sent = true;
            sentAt = std::chrono::steady_clock::now();
        }
    }
    for (pollfd& p : fds) {
        if (p.fd >= 0) close(p.fd);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}
