#pragma once

#include <umockdev.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// The far side of an emulated USB stick: serves the usbdevfs requests libusb
// makes on the device node (bulk OUT 0x01, bulk IN 0x81, control requests).
class FakeUsbStick {
  public:
    struct ControlRequest {
        std::uint8_t requestType;
        std::uint8_t request;
        std::uint16_t value;
        std::uint16_t index;
        std::vector<std::uint8_t> data;
    };

    // Serves `deviceNode` in `testbed`; attach before the device is added.
    FakeUsbStick(UMockdevTestbed* testbed, const std::string& deviceNode);
    ~FakeUsbStick();
    FakeUsbStick(const FakeUsbStick&) = delete;
    FakeUsbStick& operator=(const FakeUsbStick&) = delete;

    // Serial-number string (index 3) as UTF-16 code units.
    void SetSerial(std::u16string serial) {
        std::lock_guard lock(mutex_);
        serial_ = std::move(serial);
    }
    // Bytes for the host's next bulk reads.
    void SendToHost(const std::vector<std::uint8_t>& bytes);
    // From now on the bytes go out in packets of this size, as a real stick's do: a read ends with
    // a short packet or a full buffer, and a packet that does not fit overflows it (the part that
    // fits is delivered, the rest waits). 0: every read takes what is waiting.
    void SetPacketSize(std::size_t size) {
        std::lock_guard lock(mutex_);
        packetSize_ = size;
    }
    // In-flight URBs end as on a disconnect; later requests fail with ENODEV.
    void Unplug();

    std::vector<std::uint8_t> HostWrote() { return Locked(hostWrote_); }
    std::vector<ControlRequest> VendorRequests() { return Locked(vendorRequests_); }
    int PendingReads() { return static_cast<int>(Locked(pendingIn_).size()); }
    int IoctlCount() { return Locked(ioctls_); }

  private:
    template <typename T> T Locked(const T& field) {
        std::lock_guard lock(mutex_);
        return field;
    }
    static gboolean OnIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
    gboolean Handle(UMockdevIoctlClient* client);
    void Submit(UMockdevIoctlClient* client, UMockdevIoctlData* argument);
    void CompleteReadsLocked();

    UMockdevTestbed* testbed_;
    std::string deviceNode_;
    UMockdevIoctlBase* handler_;
    std::mutex mutex_;
    std::vector<UMockdevIoctlData*> pendingIn_;
    std::vector<UMockdevIoctlData*> reapable_;
    std::vector<std::uint8_t> hostWrote_;
    std::vector<std::uint8_t> toHost_;
    std::vector<ControlRequest> vendorRequests_;
    std::u16string serial_ = u"123456";
    std::size_t packetSize_ = 0;
    bool unplugged_ = false;
    int ioctls_ = 0;
};
