// ant-stick-sim: a virtual ANT stick with simulated DFX Garmins on a pseudo-terminal.
#include <csignal>
#include <exception>
#include <iostream>
#include <pthread.h>
#include <string>
#include <vector>

#include "sim/pty_stick_server.h"
#include "sim/scenario_arguments.h"

namespace {

int run(int argc, char** argv) {
    const std::string program = argc > 0 ? argv[0] : "ant-stick-sim";
    const auto parsed =
        antsim::parseScenarioArguments(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (parsed.helpRequested) {
        std::cout << antsim::scenarioHelpText(program);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::cerr << program << ": " << parsed.error << "\nTry '" << program << " --help'.\n";
        return 2;
    }

    // Blocked before any thread starts, so only sigwait below sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const pthread_t mainThread = pthread_self();

    antsim::PtyStickServer server(
        parsed.scenario, [](const std::string& line) { std::cerr << "host -> stick " << line << std::endl; },
        [mainThread] {
            // The unplugged stick hung up the terminal: wake the main thread to exit.
            pthread_kill(mainThread, SIGUSR1);
        });
    std::string error;
    if (!server.start(error)) {
        std::cerr << program << ": " << error << "\n";
        return 1;
    }
    std::cout << server.slavePath() << std::endl;

    int received = 0;
    sigwait(&signals, &received);
    if (received == SIGUSR1) {
        std::cerr << program << ": stick unplugged\n";
    }
    server.stop();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "ant-stick-sim: " << e.what() << "\n";
    }
    return 1;
}
