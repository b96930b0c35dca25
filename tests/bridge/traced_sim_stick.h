#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ant/usb/usb_device_kind.h"
#include "sim/scenario.h"
#include "sim/sim_device_kind.h"

namespace draftwell::test {

// Makes the in-process virtual stick the only device the ANT library sees,
// and keeps every frame the stick receives. Each open of the device starts a
// fresh stick with the next scenario of the list (the last one repeats).
// Restores an empty device table on destruction.
class TracedSimStick {
  public:
    explicit TracedSimStick(std::vector<antsim::Scenario> scenarios) {
        auto sequence = std::make_shared<Sequence>();
        for (antsim::Scenario scenario : scenarios) {
            scenario.trace = true;
            sequence->kinds.push_back(antsim::simDeviceKind(scenario, [this](const std::string& line) {
                const std::lock_guard lock(mutex_);
                lines_.push_back(line);
            }));
        }
        // The kind that opened the handle closes it: the library has one open at a time.
        USBDeviceKind kind = sequence->kinds.front();
        kind.getAllDevices = [sequence] { return sequence->current().getAllDevices(); };
        kind.getAvailableDevices = [sequence] { return sequence->current().getAvailableDevices(); };
        kind.copyDevice = [sequence](USBDevice*& out, const USBDevice& device) {
            return sequence->current().copyDevice(out, device);
        };
        kind.open = [sequence](const USBDevice& device, USBDeviceHandle*& handle, std::uint32_t baud) {
            const std::size_t index = sequence->index();
            if (!sequence->kinds[index].open(device, handle, baud)) {
                return false;
            }
            const std::lock_guard lock(sequence->mutex);
            sequence->opened = index;
            ++sequence->next;
            return true;
        };
        kind.close = [sequence](USBDeviceHandle*& handle, bool reset) {
            std::size_t index = 0;
            {
                const std::lock_guard lock(sequence->mutex);
                index = sequence->opened;
            }
            return sequence->kinds[index].close(handle, reset);
        };
        SetUSBDeviceKinds({kind});
    }
    ~TracedSimStick() { SetUSBDeviceKinds({}); }
    TracedSimStick(const TracedSimStick&) = delete;
    TracedSimStick& operator=(const TracedSimStick&) = delete;

    // "[46] Set Network Key: 00 B9 ...", one per frame received.
    std::vector<std::string> frameLines() const {
        const std::lock_guard lock(mutex_);
        return lines_;
    }
    // The IDs ("[4A]") of the frames from `from` on, without the presence polls ("[4D]").
    std::vector<std::string> frameIds(std::size_t from = 0) const {
        std::vector<std::string> ids;
        const auto lines = frameLines();
        for (std::size_t i = from; i < lines.size(); ++i) {
            if (lines[i].rfind("[4D]", 0) != 0) {
                ids.push_back(lines[i].substr(0, 4));
            }
        }
        return ids;
    }

  private:
    struct Sequence {
        std::mutex mutex;
        std::vector<USBDeviceKind> kinds;
        std::size_t next = 0;
        std::size_t opened = 0;

        std::size_t index() {
            const std::lock_guard lock(mutex);
            return std::min(next, kinds.size() - 1);
        }
        const USBDeviceKind& current() { return kinds[index()]; }
    };

    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

} // namespace draftwell::test
