#include "ant/usb/stick_recorder.h"

#include <cerrno>
#include <cstring>

#include "ant/usb/usb_device.h"

namespace {
constexpr std::chrono::milliseconds kFlushInterval{500};
constexpr std::size_t kBufferSize = 64 * 1024;
} // namespace

std::shared_ptr<StickRecorder> StickRecorder::Create(const std::string& path, StopHandler stopped,
                                                     std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = std::strerror(errno);
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IOFBF, kBufferSize);
    std::shared_ptr<StickRecorder> recorder(new StickRecorder(file, path, std::move(stopped)));
    draftwell::MutexLock lock(recorder->mutex_);
    const std::string header =
        StickRecordingHeader() + "\n# ms since open, event, fields (docs/stick-recordings.md)\n";
    if (std::fputs(header.c_str(), file) < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    return recorder;
}

StickRecorder::StickRecorder(std::FILE* file, std::string path, StopHandler stopped)
    : path_(std::move(path)), stopped_(std::move(stopped)), file_(file), openedAt_(Clock::now()),
      flushedAt_(openedAt_) {}

StickRecorder::~StickRecorder() {
    draftwell::MutexLock lock(mutex_);
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool StickRecorder::IsStopped() {
    draftwell::MutexLock lock(mutex_);
    return file_ == nullptr;
}

StickEvent StickRecorder::DeviceEvent(StickEvent::Kind kind, const USBDevice& device, std::uint32_t baud) {
    StickEvent event;
    event.kind = kind;
    event.deviceType = device.GetDeviceType();
    event.vid = device.GetVid();
    event.pid = device.GetPid();
    event.baud = baud;
    char product[256] = {};
    if (device.GetProductDescription(product, sizeof product)) {
        event.description = product;
        for (char& c : event.description) {
            if (c == '\n' || c == '\r') {
                c = ' ';
            }
        }
    }
    return event;
}

void StickRecorder::Opening(const USBDevice& device, std::uint32_t baud) {
    StickEvent event = DeviceEvent(StickEvent::Kind::open, device, baud);
    {
        draftwell::MutexLock lock(mutex_);
        openedAt_ = Clock::now();
        goneNoted_ = false;
    }
    Append(event, true);
}

void StickRecorder::OpenFailed(const USBDevice& device, std::uint32_t baud) {
    StickEvent event = DeviceEvent(StickEvent::Kind::openFailed, device, baud);
    Append(event, true);
}

void StickRecorder::Host(const void* data, std::uint32_t size) {
    AppendBytes(StickEvent::Kind::host, data, size);
}

void StickRecorder::Stick(const void* data, std::uint32_t size) {
    AppendBytes(StickEvent::Kind::stick, data, size);
}

void StickRecorder::AppendBytes(StickEvent::Kind kind, const void* data, std::uint32_t size) {
    StickEvent event;
    event.kind = kind;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    event.bytes.assign(bytes, bytes + size);
    Append(event, false);
}

void StickRecorder::Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                            std::uint16_t index, const std::uint8_t* data, std::uint32_t size, int result) {
    StickEvent event;
    event.kind = StickEvent::Kind::control;
    event.requestType = requestType;
    event.request = request;
    event.value = value;
    event.index = index;
    event.result = result;
    if (data != nullptr) {
        event.bytes.assign(data, data + size);
    }
    Append(event, false);
}

void StickRecorder::Gone() {
    {
        // Reads and writes both see it; once is enough.
        draftwell::MutexLock lock(mutex_);
        if (goneNoted_) {
            return;
        }
        goneNoted_ = true;
    }
    StickEvent event;
    event.kind = StickEvent::Kind::gone;
    Append(event, true);
}

void StickRecorder::Closed() {
    StickEvent event;
    event.kind = StickEvent::Kind::close;
    Append(event, true);
}

void StickRecorder::Append(StickEvent& event, bool flush) {
    std::string message;
    {
        draftwell::MutexLock lock(mutex_);
        if (file_ == nullptr) {
            return;
        }
        const Clock::time_point now = Clock::now();
        event.ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - openedAt_).count();
        const std::string line = FormatStickEvent(event);
        bool ok = std::fputs(line.c_str(), file_) >= 0;
        if (ok && (flush || now - flushedAt_ >= kFlushInterval)) {
            ok = std::fflush(file_) == 0;
            flushedAt_ = now;
        }
        if (ok) {
            return;
        }
        message = "Stick recording stopped: cannot write " + path_ + ": " + std::strerror(errno) + ".";
        std::fclose(file_);
        file_ = nullptr;
    }
    if (stopped_) {
        stopped_(message);
    }
}
