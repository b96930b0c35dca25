#pragma once

#include <QSettings>

#include <memory>

#include "app/ant_scanner_service.h"
#include "app/app_identity.h"
#include "tests/support/isolated_environment.h"
#include "tests/support/lap_pages.h"
#include "tests/support/qstring_printer.h"
#include "tests/support/scripted_scanner_bridge.h"

namespace draftwell::test {

// A service on a scripted bridge, with private settings and home folder.
class ServiceFixture : public IsolatedEnvironment {
  protected:
    void TearDown() override {
        service.reset();
        IsolatedEnvironment::TearDown();
    }

    ANTScannerService& makeService() {
        bridge = std::make_shared<ScriptedScannerBridge::State>();
        service = std::make_unique<ANTScannerService>(std::make_unique<ScriptedScannerBridge>(bridge));
        return *service;
    }

    static QString key(const char* suffix) { return QString::fromLatin1(kApplicationIdentifier) + suffix; }

    static void store(const char* suffix, const QVariant& value) {
        QSettings settings;
        settings.setValue(key(suffix), value);
    }

    static QVariant stored(const char* suffix) { return QSettings().value(key(suffix)); }

    // Pages arrive through the handler the service installed on the bridge.
    void sendPacket(const QByteArray& payload) { bridge->receive(payload); }
    void sendPages(const std::vector<RiderPage>& pages) { bridge->receive(pages); }
    void completeLap(const LapFigures& f) { bridge->deliverLap(f); }

    QString defaultFolder() const { return homePath() + QStringLiteral("/Documents/Draftwell Lap Logger"); }

    std::shared_ptr<ScriptedScannerBridge::State> bridge;
    std::unique_ptr<ANTScannerService> service;
};

} // namespace draftwell::test
