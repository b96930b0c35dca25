#pragma once

#include <QSettings>

#include <memory>

#include "app/ant_scanner_service.h"
#include "app/app_identity.h"
#include "tests/app/fake_scanner_bridge.h"
#include "tests/app/isolated_environment.h"
#include "tests/app/lap_payloads.h"
#include "tests/app/qstring_printer.h"

namespace draftwell::test {

// A service on a scripted bridge, with private settings and home folder.
class ServiceFixture : public IsolatedEnvironment {
  protected:
    void TearDown() override {
        service.reset();
        IsolatedEnvironment::TearDown();
    }

    ANTScannerService& makeService() {
        bridge = std::make_shared<FakeScannerBridge::State>();
        service = std::make_unique<ANTScannerService>(std::make_unique<FakeScannerBridge>(bridge));
        return *service;
    }

    static QString key(const char* suffix) { return QString::fromLatin1(kApplicationIdentifier) + suffix; }

    static void store(const char* suffix, const QVariant& value) {
        QSettings settings;
        settings.setValue(key(suffix), value);
    }

    static QVariant stored(const char* suffix) { return QSettings().value(key(suffix)); }

    // Pages arrive through the handler the service installed on the bridge.
    void sendPacket(const QByteArray& payload) { bridge->packetHandler(payload, std::uint16_t{4660}); }
    void sendPages(const std::vector<RiderPage>& pages) {
        for (const auto& [deviceNumber, payload] : pages) {
            bridge->packetHandler(payload, deviceNumber);
        }
    }

    void completeLap(const LapFigures& f) {
        sendPacket(page0(f));
        sendPacket(page1(f));
        sendPacket(page2(f));
    }

    QString defaultFolder() const { return homePath() + QStringLiteral("/Documents/Draftwell Lap Logger"); }

    std::shared_ptr<FakeScannerBridge::State> bridge;
    std::unique_ptr<ANTScannerService> service;
};

} // namespace draftwell::test
