// Hands arbitrary 0-16 byte payloads to a service's packet entry, the service
// as just built (one for the process, its riders forgotten after each input), and
// checks, after each one, that what it publishes stays consistent: completed
// laps only ever grow by one whole valid lap at the front, the progress text
// is always "n/3" with n from 0 to 3, and the counts agree; every rider's
// lane holds whole valid laps only, and the published ones are the followed
// rider's.
//
// Input: payloads, each a length byte (bits 0-6 modulo 17 give the size and
// divided by 17 the device number, 0-7; bit 7 set: no device number)
// followed by that many bytes. At most kMaxPayloads are taken: ten laps of
// one rider reach every check the lap analysis makes (five calibration laps,
// three after them, outliers from five), and each lap costs the whole run's
// analysis again, so longer inputs only made every execution slower.
#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "app/ant_scanner_service.h"
#include "laps/lap_data.h"
#include "tests/fuzz/byte_reader.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_environment.h"
#include "tests/support/scripted_scanner_bridge.h"

namespace {

using draftwell::ANTScannerService;
using draftwell::LapDataPageState;
using draftwell::LapDataRef;

bool isWholeValidLap(const LapDataRef& lap) {
    return lap && lap->pageState == LapDataPageState::all && lap->valid && lap->added;
}

void checkProgress(const ANTScannerService& service) {
    const QString progress = service.packetProgress();
    FUZZ_CHECK(progress.size() == 3 && progress.at(0) >= QLatin1Char('0') &&
                   progress.at(0) <= QLatin1Char('3') &&
                   QStringView(progress).sliced(1) == QLatin1String("/3"),
               "progress text \"%s\"", qUtf8Printable(progress));
    const QString status = service.lapStatus();
    FUZZ_CHECK(status == QLatin1String("Valid") || status == QLatin1String("Invalid"), "lap status \"%s\"",
               qUtf8Printable(status));
}

void checkLaps(const ANTScannerService& service, const std::vector<LapDataRef>& before, std::size_t payload) {
    const std::vector<LapDataRef>& after = service.allLapData();
    FUZZ_CHECK(after.size() == before.size() || after.size() == before.size() + 1,
               "payload %zu: %zu completed laps became %zu", payload, before.size(), after.size());
    const std::size_t added = after.size() - before.size();
    for (std::size_t i = 0; i < before.size(); ++i) {
        FUZZ_CHECK(after[i + added] == before[i], "payload %zu: completed lap %zu was replaced", payload, i);
    }
    for (std::size_t i = 0; i < after.size(); ++i) {
        FUZZ_CHECK(isWholeValidLap(after[i]), "payload %zu: completed lap %zu has pages %u, valid %d",
                   payload, i, after[i] ? after[i]->pageState.rawValue() : 0U,
                   after[i] ? int{after[i]->valid} : -1);
    }
    FUZZ_CHECK(service.completedLapCount() == static_cast<qint64>(after.size()),
               "payload %zu: completed count %lld with %zu laps published", payload,
               static_cast<long long>(service.completedLapCount()), after.size());
    FUZZ_CHECK(service.sessionData().size() == 1, "payload %zu: %zu session records", payload,
               service.sessionData().size());
    if (service.lapComplete()) {
        FUZZ_CHECK(!after.empty(), "payload %zu: a lap is complete but none was published", payload);
    }
    const auto& lanes = service.riderLanes();
    for (std::size_t r = 0; r < lanes.size(); ++r) {
        for (const LapDataRef& lap : lanes.at(r).assembly.completedLaps()) {
            FUZZ_CHECK(isWholeValidLap(lap), "payload %zu: rider %zu holds a lap with pages %u", payload, r,
                       lap->pageState.rawValue());
        }
    }
    FUZZ_CHECK(after == service.lapAssembly().completedLaps(),
               "payload %zu: the laps shown are not the followed rider's", payload);
}

// Building a service reads and writes its settings file, which costs far more
// than most inputs; forgetting the riders brings back what a new one shows.
// It is done at the end of each input, so that what an input made it also frees.
ANTScannerService* sharedService = nullptr;

constexpr std::size_t kMaxPayloads = 32;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The one service keeps its log and its published texts from input to
    // input, so about one run in 25 looked like a leak.
    draftwell::fuzz::checkLeaksOnlyAtExit(argc, argv);
    draftwell::fuzz::FuzzEnvironment::setUp();
    sharedService = new ANTScannerService(draftwell::test::quietScannerBridge());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ANTScannerService& service = *sharedService;
    FUZZ_CHECK(service.riders().empty() && service.allLapData().empty() && service.completedLapCount() == 0 &&
                   service.packetProgress() == QLatin1String("0/3") && !service.followedRider(),
               "forgetting the riders left %zu riders, %zu laps, progress \"%s\"", service.riders().size(),
               service.allLapData().size(), qUtf8Printable(service.packetProgress()));
    checkProgress(service);
    ByteReader input(data, size);
    std::size_t payloads = 0;
    // Kept between payloads and inputs, so that copying the laps allocates
    // only when there are more of them than ever.
    static std::vector<LapDataRef> before;
    while (!input.empty() && payloads < kMaxPayloads) {
        const std::uint8_t head = input.next();
        const std::span<const std::uint8_t> bytes = input.view((head & 0x7F) % 17);
        const std::optional<std::uint16_t> deviceNumber =
            (head & 0x80) != 0 ? std::nullopt
                               : std::optional<std::uint16_t>(static_cast<std::uint16_t>((head & 0x7F) / 17));
        before = service.allLapData();
        service.handlePacket(
            QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())),
            deviceNumber);
        ++payloads;
        checkProgress(service);
        checkLaps(service, before, payloads);
    }
    before.clear();
    FUZZ_CHECK(service.forgetRiders(), "the service is logging");
    return 0;
}
