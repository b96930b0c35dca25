#include "tests/support/scripted_scanner_bridge.h"

#include <QCoreApplication>
#include <QTimer>

#include <utility>

namespace draftwell::test {

void ScriptedScannerBridge::openScannerWithCompletion(OpenCompletion completion) {
    state_->openRequests.push_back(completion);
    if (!state_->answerFromEventLoop) {
        return;
    }
    QTimer::singleShot(0, QCoreApplication::instance(), [state = state_, completion = std::move(completion)] {
        if (!state->openError) {
            state->open = true;
            state->reportStatus(true, false, false);
            state->log(QStringLiteral("Scanner opened."));
        }
        if (completion) {
            completion(state->openError);
        }
    });
}

void ScriptedScannerBridge::closeScannerWithCompletion(CloseCompletion completion) {
    state_->closeRequests.push_back(completion);
    if (!state_->answerFromEventLoop) {
        return;
    }
    QTimer::singleShot(0, QCoreApplication::instance(), [state = state_, completion = std::move(completion)] {
        state->closeNow();
        if (completion) {
            completion();
        }
    });
}

void ScriptedScannerBridge::closeScanner() {
    ++state_->synchronousCloses;
    if (state_->answerFromEventLoop) {
        state_->closeNow();
    }
}

void ScriptedScannerBridge::State::finishOpen(const std::optional<ScannerError>& error) {
    if (!openRequests.empty() && openRequests.back()) {
        std::exchange(openRequests.back(), {})(error);
    }
}

void ScriptedScannerBridge::State::finishClose() {
    if (!closeRequests.empty() && closeRequests.back()) {
        std::exchange(closeRequests.back(), {})();
    }
}

void ScriptedScannerBridge::State::reportStatus(bool isOpen, bool receiving, bool multipleDevices) {
    if (statusHandler) {
        statusHandler(isOpen, receiving, multipleDevices);
    }
}

void ScriptedScannerBridge::State::log(const QString& line) {
    if (logHandler) {
        logHandler(line);
    }
}

void ScriptedScannerBridge::State::receive(const QByteArray& page,
                                           std::optional<std::uint16_t> deviceNumber) {
    if (packetHandler) {
        packetHandler(page, deviceNumber);
    }
}

void ScriptedScannerBridge::State::receive(const std::vector<RiderPage>& pages) {
    for (const auto& [deviceNumber, page] : pages) {
        receive(page, deviceNumber);
    }
}

void ScriptedScannerBridge::State::deliverLap(const LapFigures& figures,
                                              std::optional<std::uint16_t> deviceNumber) {
    for (const QByteArray& page : lapPages(figures)) {
        receive(page, deviceNumber);
    }
}

void ScriptedScannerBridge::State::unplug() {
    open = false;
    log(QStringLiteral("ANT device removed."));
    reportStatus(false, false, false);
}

void ScriptedScannerBridge::State::closeNow() {
    if (!open) {
        return;
    }
    open = false;
    reportStatus(false, false, false);
    log(QStringLiteral("ANT Channel closed"));
}

} // namespace draftwell::test
