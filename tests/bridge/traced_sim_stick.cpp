#include "tests/bridge/traced_sim_stick.h"

#include <algorithm>
#include <memory>

#include "ant/usb/usb_device_kind.h"
#include "sim/sim_device_kind.h"

namespace draftwell::test {

namespace {

// Hands each open to the next scenario's kind; the kind that opened a handle closes it.
struct KindSequence {
    std::mutex mutex;
    std::vector<USBDeviceKind> kinds;
    std::size_t next = 0;
    std::vector<std::pair<USBDeviceHandle*, std::size_t>> openedBy;

    const USBDeviceKind& current() {
        const std::lock_guard lock(mutex);
        return kinds[std::min(next, kinds.size() - 1)];
    }
};

} // namespace

TracedSimStick::TracedSimStick(std::vector<antsim::Scenario> scenarios) {
    auto sequence = std::make_shared<KindSequence>();
    for (antsim::Scenario scenario : scenarios) {
        scenario.trace = true;
        sequence->kinds.push_back(
            antsim::simDeviceKind(scenario, [this](const std::string& line) { trace(line); }));
    }
    USBDeviceKind kind = sequence->kinds.front();
    kind.getAllDevices = [sequence] { return sequence->current().getAllDevices(); };
    kind.getAvailableDevices = [sequence] { return sequence->current().getAvailableDevices(); };
    kind.copyDevice = [sequence](USBDevice*& out, const USBDevice& device) {
        return sequence->current().copyDevice(out, device);
    };
    kind.open = [sequence](const USBDevice& device, USBDeviceHandle*& handle, std::uint32_t baud) {
        std::size_t index = 0;
        {
            const std::lock_guard lock(sequence->mutex);
            index = std::min(sequence->next, sequence->kinds.size() - 1);
        }
        if (!sequence->kinds[index].open(device, handle, baud)) {
            return false;
        }
        const std::lock_guard lock(sequence->mutex);
        sequence->openedBy.emplace_back(handle, index);
        ++sequence->next;
        return true;
    };
    kind.close = [sequence](USBDeviceHandle*& handle, bool reset) {
        std::size_t index = 0;
        {
            const std::lock_guard lock(sequence->mutex);
            auto it = std::find_if(sequence->openedBy.begin(), sequence->openedBy.end(),
                                   [handle](const auto& entry) { return entry.first == handle; });
            if (it != sequence->openedBy.end()) {
                index = it->second;
                sequence->openedBy.erase(it);
            }
        }
        return sequence->kinds[index].close(handle, reset);
    };
    SetUSBDeviceKinds({kind});
}

TracedSimStick::~TracedSimStick() {
    SetUSBDeviceKinds({});
}

void TracedSimStick::trace(const std::string& line) {
    const std::lock_guard lock(mutex_);
    frames_.push_back({line, std::chrono::steady_clock::now()});
}

std::vector<TracedSimStick::Frame> TracedSimStick::frames() const {
    const std::lock_guard lock(mutex_);
    return frames_;
}

std::vector<std::string> TracedSimStick::frameLines() const {
    std::vector<std::string> lines;
    for (const Frame& frame : frames()) {
        lines.push_back(frame.line);
    }
    return lines;
}

} // namespace draftwell::test
