#include "sim/sim_device_kind.h"

#include <atomic>
#include <iostream>
#include <memory>
#include <mutex>
#include <utility>

#include "sim/sim_device.h"
#include "sim/sim_device_handle.h"

namespace antsim {

namespace {

struct KindState {
    SimDevice device; // what the device lists point to; lives as long as the kind
    Scenario scenario;
    std::function<void(const std::string&)> trace;
    std::mutex mutex;
    bool open = false;
    std::atomic<bool> unplugged{false};
};

USBDeviceList<const USBDevice*> listed(const std::shared_ptr<KindState>& state, bool onlyAvailable) {
    USBDeviceList<const USBDevice*> list;
    std::lock_guard lock(state->mutex);
    if (!state->unplugged && !(onlyAvailable && state->open)) {
        list.Add(&state->device);
    }
    return list;
}

} // namespace

USBDeviceKind simDeviceKind(Scenario scenario, std::function<void(const std::string&)> trace) {
    auto state = std::make_shared<KindState>();
    state->scenario = std::move(scenario);
    state->trace = trace ? std::move(trace) : [](const std::string& line) {
        std::cerr << "host -> stick " << line << std::endl;
    };

    USBDeviceKind kind;
    kind.type = kSimDeviceType;
    kind.getAllDevices = [state] { return listed(state, false); };
    kind.getAvailableDevices = [state] { return listed(state, true); };
    kind.copyDevice = [](USBDevice*& out, const USBDevice& device) {
        const auto* sim = dynamic_cast<const SimDevice*>(&device);
        if (out != nullptr || sim == nullptr) {
            return false;
        }
        out = new SimDevice(*sim);
        return true;
    };
    kind.open = [state](const USBDevice& device, USBDeviceHandle*& handle, std::uint32_t baudRate) {
        handle = nullptr;
        const auto* sim = dynamic_cast<const SimDevice*>(&device);
        std::lock_guard lock(state->mutex);
        if (sim == nullptr || state->open || state->unplugged) {
            return false;
        }
        auto* opened =
            new SimDeviceHandle(*sim, state->scenario, state->trace, [state] { state->unplugged = true; });
        opened->setLineRate(baudRate);
        if (!opened->start()) {
            delete opened;
            return false;
        }
        state->open = true;
        handle = opened;
        return true;
    };
    kind.close = [state](USBDeviceHandle*& handle, bool) {
        if (handle == nullptr) {
            return false;
        }
        auto* sim = dynamic_cast<SimDeviceHandle*>(handle);
        if (sim == nullptr) {
            handle = nullptr;
            return false;
        }
        sim->shutDown();
        std::lock_guard lock(state->mutex);
        // The Garmins ride on while the stick is out: the next open continues
        // the lap numbers instead of repeating laps the program already has.
        state->scenario.firstLap = sim->nextLapNumber();
        delete sim;
        handle = nullptr;
        state->open = false;
        return true;
    };
    return kind;
}

} // namespace antsim
