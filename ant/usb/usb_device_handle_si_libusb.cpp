#include "ant/usb/usb_device_handle_si_libusb.h"

#include <new>

#include "ant/usb/libusb_device_handle.h"

namespace {

USBDeviceList<const USBDeviceLibusb>& deviceTable() {
    static USBDeviceList<const USBDeviceLibusb> table;
    return table;
}

constexpr std::uint8_t kVendorOut = 0x40;
constexpr std::uint32_t kRequestTimeoutMs = 1000;
constexpr std::uint8_t kInterfaceEnable = 0x00;
constexpr std::uint8_t kSetBaudDivisor = 0x01;
constexpr std::uint8_t kSetLineControl = 0x03;
constexpr std::uint8_t kPurge = 0x12;
constexpr std::uint8_t kSetFlow = 0x13;
constexpr std::uint32_t kBaudClock = 3686400;

// Flow-control block: four little-endian 32-bit words, CTS handshake and RTS
// driven by the chip (8, 64), no XON/XOFF limits.
constexpr std::uint8_t kFlowControl[16] = {8, 0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

bool request(LibusbDeviceHandle& device, std::uint8_t request, std::uint16_t value,
             const std::uint8_t* data = nullptr, std::uint16_t length = 0) {
    std::uint8_t buffer[sizeof kFlowControl] = {};
    for (std::uint16_t i = 0; i < length && i < sizeof buffer; ++i) {
        buffer[i] = data[i];
    }
    std::uint32_t moved = 0;
    const LibusbError::Enum result = device.ControlTransfer(
        kVendorOut, request, value, 0, length > 0 ? buffer : nullptr, length, moved, kRequestTimeoutMs);
    return result == LibusbError::Success && moved == length;
}

} // namespace

std::uint16_t USBDeviceHandleSILibusb::BaudRateDivisor(std::uint32_t baudRate) {
    if (baudRate == 0) {
        return 0;
    }
    return static_cast<std::uint16_t>((kBaudClock + baudRate / 2) / baudRate);
}

USBDeviceList<const USBDeviceLibusb*> USBDeviceHandleSILibusb::GetAllDevices() {
    return USBDeviceLibusb::RefillTable(deviceTable());
}

USBDeviceList<const USBDeviceLibusb*> USBDeviceHandleSILibusb::GetAvailableDevices() {
    return USBDeviceLibusb::Openable(GetAllDevices());
}

bool USBDeviceHandleSILibusb::Open(const USBDevice& device, USBDeviceHandle*& handle,
                                   std::uint32_t baudRate) {
    handle = nullptr;
    const auto* stick = dynamic_cast<const USBDeviceLibusb*>(&device);
    if (stick == nullptr || baudRate == 0) {
        return false; // no divisor for 0 baud
    }
    auto* opened = new (std::nothrow) USBDeviceHandleSILibusb(*stick, baudRate);
    if (opened == nullptr) {
        return false;
    }
    if (!opened->port_.Open(opened->device_,
                            [opened](LibusbDeviceHandle& usb) { return opened->Configure(usb); })) {
        delete opened;
        return false;
    }
    handle = opened;
    return true;
}

bool USBDeviceHandleSILibusb::Close(USBDeviceHandle*& handle, bool) {
    auto* own = dynamic_cast<USBDeviceHandleSILibusb*>(handle);
    if (own == nullptr) {
        return false;
    }
    delete own;
    handle = nullptr;
    return true;
}

bool USBDeviceHandleSILibusb::Configure(LibusbDeviceHandle& device) const {
    return request(device, kInterfaceEnable, 0xFFFF) &&
           request(device, kSetBaudDivisor, BaudRateDivisor(baudRate_)) &&
           request(device, kSetLineControl, 0x0800) &&
           request(device, kSetFlow, 0, kFlowControl, sizeof kFlowControl) && request(device, kPurge, 0x000C);
}

void USBDeviceHandleSILibusb::Quiesce(LibusbDeviceHandle& device) {
    request(device, kSetFlow, 0, kFlowControl, sizeof kFlowControl);
    request(device, kPurge, 0x000C);
    request(device, kInterfaceEnable, 0x0000);
}

USBDeviceHandleSILibusb::~USBDeviceHandleSILibusb() {
    port_.Close(&USBDeviceHandleSILibusb::Quiesce);
}

USBStatus USBDeviceHandleSILibusb::Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) {
    return port_.Write(data, size, bytesWritten);
}

USBStatus USBDeviceHandleSILibusb::Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                                        std::uint32_t timeoutMs) {
    return port_.Read(buffer, size, bytesRead, timeoutMs);
}
