#include "tests/ui/ui_test_support.h"

#include "app/ant_scanner_service.h"
#include "tests/ui/fake_scanner_bridge.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSettings>

#include <cmath>
#include <cstdint>

#include <gtest/gtest.h>

namespace draftwell::test {

namespace {

void putU16(QByteArray& page, int at, double value, double scale) {
    const auto raw = static_cast<std::uint32_t>(std::lround(value * scale));
    page[at] = static_cast<char>(raw & 0xFF);
    page[at + 1] = static_cast<char>((raw >> 8) & 0xFF);
}

} // namespace

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

std::array<QByteArray, 3> lapPages(const LapFigures& f) {
    std::array<QByteArray, 3> pages;
    for (int i = 0; i < 3; ++i) {
        pages[i] = QByteArray(8, '\0');
        pages[i][0] = static_cast<char>((f.lap & 0x3F) | (i << 6));
    }
    putU16(pages[0], 1, f.cdA, 10000);
    putU16(pages[0], 3, f.cal, 10000);
    const auto ms = static_cast<std::uint32_t>(std::lround(f.lapTime * 1000));
    pages[0][5] = static_cast<char>(ms & 0xFF);
    pages[0][6] = static_cast<char>((ms >> 8) & 0xFF);
    pages[0][7] = static_cast<char>((ms >> 16) & 0xFF);
    putU16(pages[1], 1, f.dist, 10);
    putU16(pages[1], 3, f.head, 10);
    putU16(pages[1], 5, f.chest, 10);
    pages[1][7] = 1;
    putU16(pages[2], 1, f.riderPwr, 10);
    return pages;
}

void isolateSettings(const QString& folder) {
    QCoreApplication::setOrganizationName(QStringLiteral("DraftwellTests"));
    QCoreApplication::setApplicationName(QStringLiteral("ui-tests"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

ServiceFixture::ServiceFixture() {
    isolateSettings(settingsDir_.path());
    auto bridge = std::make_unique<FakeScannerBridge>();
    bridge_ = bridge.get();
    service_ = std::make_unique<ANTScannerService>(std::move(bridge));
    service_->setLogFolderPath(logDir_.path());
}

ServiceFixture::~ServiceFixture() = default;

void ServiceFixture::completeLap(const LapFigures& figures) {
    const std::size_t before = service_->allLapData().size();
    for (const QByteArray& page : lapPages(figures)) {
        bridge_->receive(page);
    }
    if (!waitUntil([&] { return service_->allLapData().size() > before; })) {
        ADD_FAILURE() << "lap " << figures.lap << " did not complete";
    }
}

} // namespace draftwell::test
