#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <vector>

#include "ant/usb/usb_device_kind.h"
#include "bridge/scanner_program_options.h"

class StickRecorder;
class StickReplay;

namespace draftwell {

// --replay: the recording becomes the only stick. --record: every kind in
// use is recorded. A recording that cannot be written is reported and the
// run goes on without it; a replay that cannot be read is an error.
// Destruction puts back the kinds that were there before.
class StickRecordingSetup {
  public:
    explicit StickRecordingSetup(const ScannerProgramOptions& options);
    ~StickRecordingSetup();
    StickRecordingSetup(const StickRecordingSetup&) = delete;
    StickRecordingSetup& operator=(const StickRecordingSetup&) = delete;

    // Why the replay cannot start; empty if it can or none was asked for.
    const QString& error() const { return error_; }
    // Where the program first differed from the replayed recording.
    std::optional<QString> replayFailure() const;

  private:
    void replaceKinds(std::vector<USBDeviceKind> kinds);

    std::optional<std::vector<USBDeviceKind>> previousKinds_;
    std::shared_ptr<StickRecorder> recorder_;
    std::shared_ptr<StickReplay> replay_;
    QString error_;
};

// The line that tells a user whose stick is there but does not open what to send us.
QString stickReportHint();
// stickReportHint() after a message line saying that the stick did not open, while a stick is listed;
// else nothing. Enumerates the sticks: call it only while none is being opened.
QString stickReportHintAfter(const QString& messageLine);

} // namespace draftwell
