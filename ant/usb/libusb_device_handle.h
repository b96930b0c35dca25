#pragma once

#include <libusb.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "ant/usb/libusb_device.h"
#include "ant/usb/libusb_error.h"

class LibusbTransfer;

// An open USB device driven through libusb: synchronous transfers with
// timeouts on top of asynchronous ones, completed on one event thread of its
// own. At most one bulk transfer per direction and one control transfer run at
// a time.
class LibusbDeviceHandle {
  public:
    // Refuses any vendor other than 0x0FCF before touching the device.
    static LibusbError::Enum Open(const LibusbDevice& device, LibusbDeviceHandle*& handle);
    // Cancels what is pending, stops the event thread, closes and deletes.
    static void Close(LibusbDeviceHandle*& handle);

    ~LibusbDeviceHandle();
    LibusbDeviceHandle(const LibusbDeviceHandle&) = delete;
    LibusbDeviceHandle& operator=(const LibusbDeviceHandle&) = delete;

    const LibusbDevice& GetDevice() const { return device_; }
    // The serial-number string index from the device's own descriptor.
    std::uint8_t GetSerialStringIndex() const { return serialStringIndex_; }

    LibusbError::Enum ClaimInterface(std::uint8_t interfaceNumber);
    LibusbError::Enum ReleaseInterface(std::uint8_t interfaceNumber);
    // Ends every pending transfer at once.
    void CancelAllTransfers();
    // From now on every transfer ends as Timeout at once, pending ones included.
    void Shutdown();

    LibusbError::Enum BulkTransfer(std::uint8_t endpoint, std::uint8_t* buffer, std::uint32_t length,
                                   std::uint32_t& transferred, std::uint32_t timeoutMs);
    LibusbError::Enum ControlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                      std::uint16_t index, std::uint8_t* buffer, std::uint16_t length,
                                      std::uint32_t& transferred, std::uint32_t timeoutMs);
    LibusbError::Enum ClearHalt(std::uint8_t endpoint);
    // wMaxPacketSize of an endpoint of a claimed interface; 0 if there is none.
    std::uint16_t GetMaxPacketSize(std::uint8_t endpoint);
    // The string as text: each UTF-16 unit above 0xFF becomes '?'. `descriptorLength` is the descriptor's
    // own length byte.
    LibusbError::Enum GetStringDescriptorText(std::uint8_t index, char* buffer, std::uint32_t size,
                                              std::uint32_t& descriptorLength);

  private:
    struct Endpoint {
        std::uint8_t address;
        std::uint8_t type;
        std::uint16_t maxPacketSize;
    };
    static constexpr std::uint8_t kInterfaceCount = 32;

    explicit LibusbDeviceHandle(const LibusbDevice& device);
    LibusbError::Enum OpenDevice();
    void CloseDevice();
    void RunEvents();
    bool FindEndpoint(std::uint8_t address, Endpoint& endpoint);
    LibusbError::Enum RunTransfer(LibusbTransfer& transfer, std::mutex& lane, std::uint32_t& transferred);

    LibusbDevice device_;
    std::uint8_t serialStringIndex_ = 0;
    libusb_context* context_ = nullptr;
    libusb_device_handle* handle_ = nullptr;

    std::mutex transfersMutex_;
    std::condition_variable transfersEmpty_;
    std::set<LibusbTransfer*> transfers_;
    bool closing_ = false;
    // One transfer at a time per lane: bulk IN, bulk OUT, and control requests on endpoint 0. A
    // control request never waits behind the receive thread's long bulk read, nor a read behind it.
    std::mutex inMutex_;
    std::mutex outMutex_;
    std::mutex controlMutex_;

    std::thread eventThread_;
    std::atomic<bool> stopEvents_{false};

    std::mutex interfacesMutex_;
    std::array<std::vector<Endpoint>, kInterfaceCount> endpoints_;
    std::array<bool, kInterfaceCount> claimed_{};
};
