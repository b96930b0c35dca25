#include "tests/cli/fake_scanner_bridge.h"

#include <QCoreApplication>
#include <QTimer>

#include "sim/simulated_lap.h"

namespace draftwell::test {

void FakeScannerBridge::openScannerWithCompletion(OpenCompletion completion) {
    ++opens;
    QTimer::singleShot(0, QCoreApplication::instance(), [this, completion = std::move(completion)] {
        if (!openError) {
            open_ = true;
            status_(true, false, false);
            log_(QStringLiteral("Scanner opened."));
        }
        if (completion) {
            completion(openError);
        }
    });
}

void FakeScannerBridge::closeScannerWithCompletion(CloseCompletion completion) {
    ++closes;
    QTimer::singleShot(0, QCoreApplication::instance(), [this, completion = std::move(completion)] {
        closeNow();
        if (completion) {
            completion();
        }
    });
}

void FakeScannerBridge::closeScanner() {
    closeNow();
}

void FakeScannerBridge::closeNow() {
    if (!open_) {
        return;
    }
    open_ = false;
    status_(false, false, false);
    log_(QStringLiteral("ANT Channel closed"));
}

void FakeScannerBridge::deliverLap(int lapNumber, std::uint16_t deviceNumber) {
    deliverLap(lapNumber, 0.300 + 0.01 * lapNumber, deviceNumber);
}

void FakeScannerBridge::deliverLap(int lapNumber, double cdA, std::uint16_t deviceNumber) {
    antsim::SimulatedLap lap;
    lap.lapNumber = static_cast<std::uint8_t>(lapNumber);
    lap.cdA = cdA;
    lap.cal = 1.0;
    lap.lapTime = 60;
    lap.dist = 500;
    lap.head = 90;
    lap.chest = 95;
    lap.riderPwr = 250;
    for (int page = 0; page < 3; ++page) {
        const antsim::LapPage bytes = lap.page(page);
        packet_(QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())),
                deviceNumber);
    }
}

void FakeScannerBridge::unplug() {
    open_ = false;
    log_(QStringLiteral("ANT device removed."));
    status_(false, false, false);
}

} // namespace draftwell::test
