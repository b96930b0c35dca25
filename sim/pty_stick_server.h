#pragma once

#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include "sim/pseudo_terminal.h"
#include "sim/scenario.h"
#include "sim/virtual_stick.h"

namespace antsim {

// Serves a virtual stick on a pseudo-terminal: what a program writes to the
// slave end reaches the stick, the stick's frames come back on it. Owns the
// stick and one reader thread; stop() (or destruction) ends both.
class PtyStickServer {
  public:
    using TraceSink = std::function<void(const std::string&)>;

    // gone is called once, on an internal thread, after the stick was
    // unplugged and the terminal hung up (or the terminal failed).
    PtyStickServer(Scenario scenario, TraceSink trace, std::function<void()> gone);
    ~PtyStickServer();

    PtyStickServer(const PtyStickServer&) = delete;
    PtyStickServer& operator=(const PtyStickServer&) = delete;

    bool start(std::string& error);
    void stop();

    const std::string& slavePath() const { return pty_.slavePath(); }

  private:
    enum class Request { none, stop, hangUp };

    // Serves the terminal until stopped (false) or until the stick is gone (true).
    bool readLoop();
    void writeToHost(std::span<const std::uint8_t> bytes);
    void request(Request r);
    void hangUp();

    std::function<void()> gone_;
    PseudoTerminal pty_;
    std::mutex mutex_; // guards the master end against closing while the stick writes, and request_
    Request request_ = Request::none;
    int wakeFd_ = -1;
    std::thread reader_;
    VirtualStick stick_;
};

} // namespace antsim
