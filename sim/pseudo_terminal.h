#pragma once

#include <string>

namespace antsim {

// A pseudo-terminal pair in raw mode. We keep a descriptor of the slave end
// open ourselves: without one the master reports a hang-up until a client
// opens the slave, and again each time the last client closes it.
class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    ~PseudoTerminal();

    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens the pair; on failure returns false with a reason in error.
    bool open(std::string& error);
    // Closes both ends: a client on the slave end sees a hang-up.
    void close();

    bool isOpen() const { return master_ >= 0; }
    int masterFd() const { return master_; } // non-blocking
    const std::string& slavePath() const { return slavePath_; }

  private:
    int master_ = -1;
    int slaveKeeper_ = -1;
    std::string slavePath_;
};

} // namespace antsim
