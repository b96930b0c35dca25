#include "bridge/stick_recording_setup.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "ant/usb/libusb_control_observer.h"
#include "ant/usb/recording_device_handle.h"
#include "ant/usb/replay_device_kind.h"
#include "ant/usb/stick_recorder.h"
#include "ant/usb/stick_replay.h"
#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_si.h"
#include "bridge/system_log.h"

namespace draftwell {

namespace {

// Called from the stick's I/O threads: no Qt here.
void report(const std::string& line) {
    writeSystemLog(line);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

} // namespace

StickRecordingSetup::StickRecordingSetup(const ScannerProgramOptions& options) {
    if (!options.replayPath.isEmpty()) {
        const std::string path = options.replayPath.toStdString();
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        std::string problem;
        std::optional<std::vector<StickEvent>> events;
        if (!file) {
            problem = "cannot be read";
        } else {
            events = ParseStickRecording(text.str(), problem);
        }
        if (!events) {
            error_ = QStringLiteral("cannot replay %1: %2.")
                         .arg(options.replayPath, QString::fromStdString(problem));
            return;
        }
        replay_ = std::make_shared<StickReplay>(std::move(*events), options.replayFast, &report);
        replaceKinds({ReplayDeviceKind(replay_)});
    }
    if (!options.recordPath.isEmpty()) {
        std::string problem;
        recorder_ = StickRecorder::Create(options.recordPath.toStdString(), &report, problem);
        if (!recorder_) {
            report("Stick recording not started: cannot create " + options.recordPath.toStdString() + ": " +
                   problem + ".");
            return;
        }
        replaceKinds(RecordingDeviceKinds(GetUSBDeviceKinds(), recorder_));
        SetLibusbControlObserver([recorder = recorder_](const LibusbControlRequest& r) {
            recorder->Control(r.requestType, r.request, r.value, r.index, r.data, r.size, r.result);
        });
    }
}

StickRecordingSetup::~StickRecordingSetup() {
    if (recorder_) {
        SetLibusbControlObserver({});
    }
    if (previousKinds_) {
        SetUSBDeviceKinds(std::move(*previousKinds_));
    }
}

void StickRecordingSetup::replaceKinds(std::vector<USBDeviceKind> kinds) {
    if (!previousKinds_) {
        previousKinds_ = GetUSBDeviceKinds();
    }
    SetUSBDeviceKinds(std::move(kinds));
}

std::optional<QString> StickRecordingSetup::replayFailure() const {
    if (!replay_) {
        return std::nullopt;
    }
    const std::optional<std::string> failure = replay_->Failure();
    if (!failure) {
        return std::nullopt;
    }
    return QString::fromStdString(*failure);
}

QString stickReportHint() {
    return QStringLiteral(
        "To report this, run: lap-logger-cli --record stick.txt --duration 30 and attach stick.txt.");
}

QString stickReportHintAfter(const QString& messageLine) {
    const bool openFailed = messageLine.startsWith(QLatin1StringView("No ANT device found.")) ||
                            messageLine.startsWith(QLatin1StringView("Failed to open scanner."));
    if (!openFailed) {
        return {};
    }
    const USBDeviceList<const USBDevice*> devices = USBDeviceHandle::GetAllDevices(USB_DEVICE_TYPE_ALL);
    for (std::uint32_t i = 0; i < devices.GetSize(); ++i) {
        // A port named on the command line is listed even when there is nothing at that path.
        const auto* port = dynamic_cast<const USBDeviceSI*>(devices[i]);
        if (port == nullptr || !port->IsNamedPort() || ::access(port->GetBsdName(), F_OK) == 0) {
            return stickReportHint();
        }
    }
    return {};
}

} // namespace draftwell
