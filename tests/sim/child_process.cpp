#include "tests/sim/child_process.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace antsim::test {

namespace {

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0); // SIGKILL cannot be ignored: this returns
    }
    if (pidFd_ >= 0) {
        ::close(pidFd_);
    }
    if (stdout_ >= 0) {
        ::close(stdout_);
    }
}

bool ChildProcess::start(const std::vector<std::string>& argv) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    stdout_ = pipeFds[0];
    if (rc != 0) {
        pid_ = -1;
        return false;
    }
    pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    return pidFd_ >= 0;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (const auto nl = buffered_.find('\n'); nl != std::string::npos) {
            auto line = buffered_.substr(0, nl);
            buffered_.erase(0, nl + 1);
            return line;
        }
        pollfd p{stdout_, POLLIN, 0};
        if (::poll(&p, 1, remainingMs(deadline)) <= 0) {
            return std::nullopt;
        }
        std::array<char, 512> chunk{};
        const auto n = ::read(stdout_, chunk.data(), chunk.size());
        if (n <= 0) {
            return std::nullopt;
        }
        buffered_.append(chunk.data(), static_cast<std::size_t>(n));
    }
}

bool ChildProcess::signal(int sig) {
    return pid_ > 0 && ::kill(pid_, sig) == 0;
}

std::optional<int> ChildProcess::waitExit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) {
        return std::nullopt;
    }
    pollfd p{pidFd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) {
        return std::nullopt;
    }
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) {
        return std::nullopt;
    }
    pid_ = -1;
    return status;
}

} // namespace antsim::test
