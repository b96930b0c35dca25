#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace antsim::test {

// A program run by a test, with its standard output on a pipe. Killed and
// reaped on destruction if still running.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const std::vector<std::string>& argv);
    // One line of standard output, without its line feed.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    bool signal(int sig);
    // The wait status once the program has ended within timeout.
    std::optional<int> waitExit(std::chrono::milliseconds timeout);

  private:
    pid_t pid_ = -1;
    int pidFd_ = -1;
    int stdout_ = -1;
    std::string buffered_;
};

} // namespace antsim::test
