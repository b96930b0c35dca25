#include "ant/usb/replay_device_kind.h"

#include <cstring>
#include <new>
#include <vector>

#include "ant/annotated_mutex.h"

namespace {

class ReplayDevice final : public USBDevice {
  public:
    explicit ReplayDevice(const StickEvent& open)
        : vid_(open.vid), pid_(open.pid), description_(open.description.substr(0, 255)) {}
    ReplayDevice(const ReplayDevice&) = default;

    std::uint16_t GetVid() const override { return vid_; }
    std::uint16_t GetPid() const override { return pid_; }
    std::uint32_t GetSerialNumber() const override { return 0; }
    bool GetProductDescription(char* buffer, std::uint16_t size) const override {
        if (buffer == nullptr || size == 0 || description_.size() + 1 > size) {
            return false;
        }
        std::memcpy(buffer, description_.c_str(), description_.size() + 1);
        return true;
    }
    bool GetSerialString(std::uint8_t* buffer, std::uint16_t size) const override {
        if (buffer == nullptr || size < 256) {
            return false;
        }
        std::memset(buffer, 0, 256);
        return true;
    }
    USBDeviceType GetDeviceType() const override { return USB_DEVICE_TYPE_REPLAY; }
    bool USBReset() const override { return true; }

  private:
    std::uint16_t vid_;
    std::uint16_t pid_;
    std::string description_;
};

class ReplayDeviceHandle final : public USBDeviceHandle {
  public:
    ReplayDeviceHandle(const ReplayDevice& device, std::shared_ptr<StickReplay> replay)
        : device_(device), replay_(std::move(replay)) {}

    USBStatus Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) override {
        return replay_->Write(data, size, bytesWritten);
    }
    USBStatus Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                   std::uint32_t timeoutMs) override {
        return replay_->Read(buffer, size, bytesRead, timeoutMs);
    }
    const USBDevice& GetDevice() override { return device_; }

  private:
    const ReplayDevice device_;
    const std::shared_ptr<StickReplay> replay_;
};

struct KindState {
    std::shared_ptr<StickReplay> replay;
    draftwell::Mutex mutex;
    // What the lists point to, one per recorded open listed so far: pointers handed out stay valid.
    std::vector<std::unique_ptr<ReplayDevice>> devices GUARDED_BY(mutex);
    int listedLine GUARDED_BY(mutex) = 0;
};

USBDeviceList<const USBDevice*> listed(KindState& state, bool onlyAvailable) {
    USBDeviceList<const USBDevice*> list;
    const draftwell::MutexLock lock(state.mutex);
    if (state.replay->IsOpen()) {
        if (!onlyAvailable && !state.devices.empty()) {
            list.Add(state.devices.back().get());
        }
        return list;
    }
    if (const std::optional<StickEvent> open = state.replay->NextOpen()) {
        if (state.devices.empty() || state.listedLine != open->line) {
            state.devices.push_back(std::make_unique<ReplayDevice>(*open));
            state.listedLine = open->line;
        }
        list.Add(state.devices.back().get());
    }
    return list;
}

} // namespace

USBDeviceKind ReplayDeviceKind(std::shared_ptr<StickReplay> replay) {
    auto state = std::make_shared<KindState>();
    state->replay = std::move(replay);
    USBDeviceKind kind;
    kind.type = USB_DEVICE_TYPE_REPLAY;
    kind.getAllDevices = [state] { return listed(*state, false); };
    kind.getAvailableDevices = [state] { return listed(*state, true); };
    kind.copyDevice = [](USBDevice*& out, const USBDevice& device) {
        const auto* own = dynamic_cast<const ReplayDevice*>(&device);
        if (out != nullptr || own == nullptr) {
            return false;
        }
        out = new ReplayDevice(*own);
        return true;
    };
    kind.open = [state](const USBDevice& device, USBDeviceHandle*& handle, std::uint32_t) {
        handle = nullptr;
        const auto* own = dynamic_cast<const ReplayDevice*>(&device);
        if (own == nullptr || !state->replay->Open()) {
            return false;
        }
        handle = new (std::nothrow) ReplayDeviceHandle(*own, state->replay);
        if (handle == nullptr) {
            state->replay->Close();
            return false;
        }
        return true;
    };
    kind.close = [state](USBDeviceHandle*& handle, bool) {
        auto* own = dynamic_cast<ReplayDeviceHandle*>(handle);
        if (own == nullptr) {
            return false;
        }
        state->replay->Close();
        delete own;
        handle = nullptr;
        return true;
    };
    return kind;
}
