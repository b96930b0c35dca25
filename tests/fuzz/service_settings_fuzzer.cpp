// Stores arbitrary values of any type under the service's four settings keys,
// constructs a service over them and checks that what it publishes is in
// range: a calibration lap count of 0 or more, "," or ";" as separator (also
// in the store), and a trimmed, non-empty log folder that is also stored.
// Two laps are then completed so that calibration runs with those settings,
// and every calibrated CdA must be a finite number.
//
// Input: a mode byte. Bit 0 clear: for each key, a value made by makeVariant
// and stored through QSettings (typed values, as written in this process).
// Bit 0 set: a settings file is written by hand, each key followed by up to
// 63 raw bytes, and read back into the store (text as read back from disk).
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

#include "app/ant_scanner_service.h"
#include "app/app_identity.h"
#include "tests/fuzz/byte_reader.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_environment.h"
#include "tests/fuzz/variant_maker.h"
#include "tests/support/scripted_scanner_bridge.h"

namespace {

using draftwell::ANTScannerService;

constexpr const char* kSuffixes[] = {".lastLogFolder", ".autoCal", ".calLapCount", ".csvDelimiter"};

QString key(const char* suffix) {
    return QString::fromLatin1(draftwell::kApplicationIdentifier) + QLatin1String(suffix);
}

QString handWrittenFile() {
    return draftwell::fuzz::FuzzEnvironment::setUp().root() + QStringLiteral("/hand-written.ini");
}

// One settings object for the whole process, handed to every service: built
// anew for each input, it would look for four files and write one, which
// costs far more than the service's own work. It is never written to disk.
QSettings& store() {
    static QSettings& settings = *new QSettings;
    return settings;
}

void storeTyped(ByteReader& input) {
    QSettings& settings = store();
    settings.clear();
    for (const char* suffix : kSuffixes) {
        if (const auto value = draftwell::fuzz::makeVariant(input)) {
            settings.setValue(key(suffix), *value);
        }
    }
}

// The file is read back by a settings object of its own, so that the store
// holds exactly the values that reading this text from disk gives.
void storeByHand(ByteReader& input, const QString& file) {
    QByteArray text("[General]\n");
    for (const char* suffix : kSuffixes) {
        const auto bytes = input.take(input.next() % 64);
        text +=
            key(suffix).toUtf8() + '=' +
            QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())) +
            '\n';
    }
    QFile out(file);
    FUZZ_CHECK(out.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write %s", qUtf8Printable(file));
    out.write(text);
    out.close();
    // QSettings rereads a file only when its size or time changed; a time of
    // its own for every run makes sure it does.
    static long long stamp = 1'000'000'000;
    const timespec times[2] = {{++stamp, 0}, {stamp, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0);

    const QSettings fromDisk(file, QSettings::IniFormat);
    QSettings& settings = store();
    settings.clear();
    for (const QString& name : fromDisk.allKeys()) {
        // A line "=value" gives an empty name, which QSettings refuses, noisily.
        if (!name.isEmpty()) {
            settings.setValue(name, fromDisk.value(name));
        }
    }
}

QByteArray page(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4,
                std::uint8_t b5, std::uint8_t b6, std::uint8_t b7) {
    const char bytes[] = {static_cast<char>(b0), static_cast<char>(b1), static_cast<char>(b2),
                          static_cast<char>(b3), static_cast<char>(b4), static_cast<char>(b5),
                          static_cast<char>(b6), static_cast<char>(b7)};
    return QByteArray(bytes, sizeof bytes);
}

void completeTwoLaps(ANTScannerService& service) {
    // Lap 5 with a calibration factor of 1.0, lap 6 with one of 0.
    for (std::uint8_t lap : {5, 6}) {
        const std::uint8_t cal = lap == 5 ? 0x27 : 0x00;
        service.handlePacket(page(lap, 0x10, 0x0C, 0x10, cal, 0x40, 0xE2, 0x01), 1);
        service.handlePacket(page(0x40 | lap, 0x88, 0x13, 0x84, 0x03, 0xE8, 0x03, 0x01), 1);
        service.handlePacket(page(0x80 | lap, 0xC4, 0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF), 1);
    }
}

void checkPublished(ANTScannerService& service) {
    FUZZ_CHECK(service.calLapCount() >= 0, "calLapCount %lld", static_cast<long long>(service.calLapCount()));
    const QString delimiter = service.csvDelimiter();
    FUZZ_CHECK(delimiter == QLatin1String(",") || delimiter == QLatin1String(";"), "csvDelimiter \"%s\"",
               qUtf8Printable(delimiter));
    FUZZ_CHECK(draftwell::rawValue(service.csvDelimiterOption()) == delimiter,
               "csvDelimiterOption disagrees");
    const QString folder = service.logFolderPath();
    FUZZ_CHECK(!folder.isEmpty() && folder == folder.trimmed(), "logFolderPath \"%s\"",
               qUtf8Printable(folder));

    const QSettings& stored = store();
    const QVariant storedDelimiter = stored.value(key(".csvDelimiter"));
    FUZZ_CHECK(storedDelimiter.typeId() == QMetaType::QString && storedDelimiter.toString() == delimiter,
               "stored separator \"%s\" while \"%s\" is published",
               qUtf8Printable(storedDelimiter.toString()), qUtf8Printable(delimiter));
    const QVariant storedFolder = stored.value(key(".lastLogFolder"));
    FUZZ_CHECK(storedFolder.typeId() == QMetaType::QString && storedFolder.toString() == folder,
               "stored folder \"%s\" while \"%s\" is published", qUtf8Printable(storedFolder.toString()),
               qUtf8Printable(folder));
}

void checkCalibration(const ANTScannerService& service) {
    FUZZ_CHECK(service.allLapData().size() == 2, "%zu laps completed", service.allLapData().size());
    FUZZ_CHECK(std::isfinite(service.sessionSummary().cdACal), "summary cdACal %g",
               service.sessionSummary().cdACal);
    for (const auto& lap : service.allLapData()) {
        FUZZ_CHECK(std::isfinite(lap->cdACal), "lap %lld cdACal %g", static_cast<long long>(lap->lap),
                   lap->cdACal);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The store keeps what each input stored until the next one clears it.
    draftwell::fuzz::checkLeaksOnlyAtExit(argc, argv);
    draftwell::fuzz::FuzzEnvironment::setUp();
    store();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader input(data, size);
    if ((input.next() & 1) == 0) {
        storeTyped(input);
    } else {
        storeByHand(input, handWrittenFile());
    }
    {
        ANTScannerService service(draftwell::test::quietScannerBridge(), store());
        checkPublished(service);
        completeTwoLaps(service);
        checkCalibration(service);
    }
    // What the program's event loop would do between two starts, except that
    // the store's request to write itself out is dropped.
    QCoreApplication::removePostedEvents(&store(), QEvent::UpdateRequest);
    QCoreApplication::sendPostedEvents();
    return 0;
}
