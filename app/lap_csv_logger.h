#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

#include "app/logger_error.h"
#include "laps/lap_data.h"

namespace draftwell {

// Writes one logging run to its own CSV file: the start time when the run
// opens, then the description, the header and every lap when it finishes.
// Main thread only; writes are synchronous and unbuffered so a failure is
// seen at the line that caused it.
class LapCSVLogger {
  public:
    using Result = std::optional<LoggerError>; // empty on success

    LapCSVLogger() = default;
    ~LapCSVLogger();
    LapCSVLogger(const LapCSVLogger&) = delete;
    LapCSVLogger& operator=(const LapCSVLogger&) = delete;

    // Creates a new file (never replacing an existing one, even one that
    // appears concurrently) and writes the local start time as line 1.
    Result open(const QString& filePath);
    // Appends text and a line feed; does nothing when no file is open.
    Result writeLine(const QString& text);
    // Writes the description, the header and one row per lap (oldest first,
    // the list being newest first), then always closes the file.
    Result finish(const QString& description, const std::vector<LapDataRef>& laps, const QString& delimiter);
    Result close();

    bool isOpen() const { return fd_ >= 0; }
    // Line 1 of the file opened last, as written.
    const QString& startLine() const { return startLine_; }
    // The system's reason for the last failure ("Permission denied"), or empty.
    const QString& errorText() const { return errorText_; }

    // One past the highest "Run_<n>.csv" or "Run_<n>_rider-<rider>.csv"
    // number in the folder (1 for none); empty when the folder cannot be listed.
    static std::optional<std::int64_t> nextRunNumber(const QString& folder);
    // "Run_%03d.csv".
    static QString fileNameForRun(std::int64_t runNumber);
    // Another rider's file of the same run: "Run_%03d_rider-<device number>.csv",
    // "unnumbered" standing in for a transmitter that sends no number.
    static QString fileNameForRider(std::int64_t runNumber, std::optional<std::uint16_t> deviceNumber);
    static QString headerRow(const QString& delimiter);
    static QString row(const LapData& lap, const QString& delimiter);
    // Fields joined with the delimiter; a field holding the delimiter (a
    // decimal comma between commas) is quoted as RFC 4180 has it, so every
    // row reads back as eleven fields. Nothing else changes.
    static QString joinFields(const QStringList& fields, const QString& delimiter);
    // The eleven fields of a lap's row, before joining.
    static QStringList rowFields(const LapData& lap);

  private:
    Result writeBytes(const char* data, std::size_t size);
    Result fail(LoggerError error);

    int fd_ = -1;
    QString startLine_;
    QString errorText_;
};

} // namespace draftwell
