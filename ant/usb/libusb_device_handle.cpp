#include "ant/usb/libusb_device_handle.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <new>
#include <system_error>

#include "ant/usb/libusb_control_observer.h"
#include "ant/usb/libusb_transfer.h"

namespace {

constexpr std::uint16_t kAntVendorId = 0x0FCF;
constexpr std::uint32_t kStringRequestLength = 130;
constexpr std::uint32_t kStringRequestTimeoutMs = 1000;

} // namespace

LibusbDeviceHandle::LibusbDeviceHandle(const LibusbDevice& device) : device_(device) {}

LibusbDeviceHandle::~LibusbDeviceHandle() {
    CloseDevice();
}

LibusbError::Enum LibusbDeviceHandle::Open(const LibusbDevice& device, LibusbDeviceHandle*& handle) {
    handle = nullptr;
    if (device.GetVid() != kAntVendorId) {
        return LibusbError::Other;
    }
    auto* opened = new (std::nothrow) LibusbDeviceHandle(device);
    if (opened == nullptr) {
        return LibusbError::NoMemory;
    }
    const LibusbError::Enum result = opened->OpenDevice();
    if (result != LibusbError::Success) {
        delete opened;
        return result;
    }
    handle = opened;
    return LibusbError::Success;
}

void LibusbDeviceHandle::Close(LibusbDeviceHandle*& handle) {
    delete handle;
    handle = nullptr;
}

LibusbError::Enum LibusbDeviceHandle::OpenDevice() {
    // A context of its own per open device: its event thread then serves only this device.
    int result = libusb_init(&context_);
    if (result != LIBUSB_SUCCESS) {
        context_ = nullptr;
        return LibusbError::FromLibusb(result);
    }
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    if (count < 0) {
        return LibusbError::FromLibusb(static_cast<int>(count));
    }
    result = LIBUSB_ERROR_NO_DEVICE;
    for (ssize_t i = 0; i < count; ++i) {
        if (libusb_get_bus_number(list[i]) == device_.GetBusNumber() &&
            libusb_get_device_address(list[i]) == device_.GetAddress()) {
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(list[i], &descriptor) == LIBUSB_SUCCESS) {
                if (descriptor.idVendor != kAntVendorId) {
                    // The address was reused by another device since the enumeration.
                    result = LIBUSB_ERROR_OTHER;
                    break;
                }
                serialStringIndex_ = descriptor.iSerialNumber;
            }
            result = libusb_open(list[i], &handle_);
            break;
        }
    }
    libusb_free_device_list(list, 1);
    if (result != LIBUSB_SUCCESS) {
        handle_ = nullptr;
        return LibusbError::FromLibusb(result);
    }
    try {
        eventThread_ = std::thread(&LibusbDeviceHandle::RunEvents, this);
    } catch (const std::system_error&) {
        return LibusbError::Other;
    }
    return LibusbError::Success;
}

void LibusbDeviceHandle::RunEvents() {
    while (!stopEvents_.load()) {
        timeval limit{60, 0};
        const int result = libusb_handle_events_timeout_completed(context_, &limit, nullptr);
        if (result < 0 && result != LIBUSB_ERROR_INTERRUPTED && !stopEvents_.load()) {
            // Never spin on a failing event loop.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

void LibusbDeviceHandle::Shutdown() {
    std::lock_guard lock(transfersMutex_);
    closing_ = true;
    for (LibusbTransfer* transfer : transfers_) {
        transfer->Cancel();
    }
}

void LibusbDeviceHandle::CancelAllTransfers() {
    std::lock_guard lock(transfersMutex_);
    for (LibusbTransfer* transfer : transfers_) {
        transfer->Cancel();
    }
}

void LibusbDeviceHandle::CloseDevice() {
    if (context_ == nullptr) {
        return;
    }
    Shutdown();
    {
        // Cancelled transfers complete on the event thread, which still runs; their
        // callers then leave the list.
        std::unique_lock lock(transfersMutex_);
        transfersEmpty_.wait(lock, [this] { return transfers_.empty(); });
    }
    if (eventThread_.joinable()) {
        stopEvents_.store(true);
        libusb_interrupt_event_handler(context_);
        eventThread_.join();
    }
    if (handle_ != nullptr) {
        for (std::uint8_t i = 0; i < kInterfaceCount; ++i) {
            ReleaseInterface(i);
        }
        libusb_close(handle_);
        handle_ = nullptr;
    }
    libusb_exit(context_);
    context_ = nullptr;
}

LibusbError::Enum LibusbDeviceHandle::ClaimInterface(std::uint8_t interfaceNumber) {
    if (interfaceNumber >= kInterfaceCount) {
        return LibusbError::InvalidParam;
    }
    std::lock_guard lock(interfacesMutex_);
    if (claimed_[interfaceNumber]) {
        return LibusbError::Busy;
    }
    int result = libusb_claim_interface(handle_, interfaceNumber);
    if (result != LIBUSB_SUCCESS) {
        return LibusbError::FromLibusb(result);
    }
    libusb_config_descriptor* config = nullptr;
    result = libusb_get_active_config_descriptor(libusb_get_device(handle_), &config);
    if (result != LIBUSB_SUCCESS) {
        libusb_release_interface(handle_, interfaceNumber);
        return LibusbError::FromLibusb(result);
    }
    std::vector<Endpoint> endpoints;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& interface = config->interface[i];
        if (interface.num_altsetting < 1 || interface.altsetting[0].bInterfaceNumber != interfaceNumber) {
            continue;
        }
        const libusb_interface_descriptor& setting = interface.altsetting[0];
        for (int e = 0; e < setting.bNumEndpoints; ++e) {
            endpoints.push_back({setting.endpoint[e].bEndpointAddress,
                                 static_cast<std::uint8_t>(setting.endpoint[e].bmAttributes & 0x03),
                                 static_cast<std::uint16_t>(setting.endpoint[e].wMaxPacketSize & 0x07FF)});
        }
    }
    libusb_free_config_descriptor(config);
    endpoints_[interfaceNumber] = std::move(endpoints);
    claimed_[interfaceNumber] = true;
    return LibusbError::Success;
}

LibusbError::Enum LibusbDeviceHandle::ReleaseInterface(std::uint8_t interfaceNumber) {
    if (interfaceNumber >= kInterfaceCount) {
        return LibusbError::InvalidParam;
    }
    std::lock_guard lock(interfacesMutex_);
    if (!claimed_[interfaceNumber]) {
        return LibusbError::Success;
    }
    endpoints_[interfaceNumber].clear();
    claimed_[interfaceNumber] = false;
    return LibusbError::FromLibusb(libusb_release_interface(handle_, interfaceNumber));
}

bool LibusbDeviceHandle::FindEndpoint(std::uint8_t address, Endpoint& endpoint) {
    std::lock_guard lock(interfacesMutex_);
    for (std::uint8_t i = 0; i < kInterfaceCount; ++i) {
        if (!claimed_[i]) {
            continue;
        }
        for (const Endpoint& candidate : endpoints_[i]) {
            if (candidate.address == address) {
                endpoint = candidate;
                return true;
            }
        }
    }
    return false;
}

LibusbError::Enum LibusbDeviceHandle::RunTransfer(LibusbTransfer& transfer, std::mutex& lane,
                                                  std::uint32_t& transferred) {
    transferred = 0;
    {
        std::lock_guard lock(transfersMutex_);
        if (closing_) {
            return LibusbError::Timeout;
        }
        transfers_.insert(&transfer);
    }
    LibusbError::Enum result = LibusbError::Success;
    {
        std::lock_guard one(lane);
        result = transfer.Submit();
        if (result == LibusbError::Success) {
            result = LibusbTransfer::ToError(transfer.Wait());
        }
        transferred = transfer.GetActualLength();
    }
    std::lock_guard lock(transfersMutex_);
    transfers_.erase(&transfer);
    if (transfers_.empty()) {
        transfersEmpty_.notify_all();
    }
    return result;
}

LibusbError::Enum LibusbDeviceHandle::BulkTransfer(std::uint8_t endpoint, std::uint8_t* buffer,
                                                   std::uint32_t length, std::uint32_t& transferred,
                                                   std::uint32_t timeoutMs) {
    transferred = 0;
    if (buffer == nullptr || length > static_cast<std::uint32_t>(INT_MAX)) {
        return LibusbError::InvalidParam;
    }
    Endpoint found{};
    if (!FindEndpoint(endpoint, found)) {
        return LibusbError::NotFound;
    }
    LibusbTransfer transfer;
    if (!transfer.IsValid()) {
        return LibusbError::NoMemory;
    }
    transfer.FillBulk(handle_, endpoint, found.type, buffer, static_cast<int>(length), timeoutMs);
    return RunTransfer(transfer, (endpoint & LIBUSB_ENDPOINT_IN) != 0 ? inMutex_ : outMutex_, transferred);
}

LibusbError::Enum LibusbDeviceHandle::ControlTransfer(std::uint8_t requestType, std::uint8_t request,
                                                      std::uint16_t value, std::uint16_t index,
                                                      std::uint8_t* buffer, std::uint16_t length,
                                                      std::uint32_t& transferred, std::uint32_t timeoutMs) {
    transferred = 0;
    if (length > 0 && buffer == nullptr) {
        return LibusbError::InvalidParam;
    }
    const bool in = (requestType & LIBUSB_ENDPOINT_IN) != 0;
    std::vector<std::uint8_t> setupAndData(LIBUSB_CONTROL_SETUP_SIZE + length);
    libusb_fill_control_setup(setupAndData.data(), requestType, request, value, index, length);
    if (!in && length > 0) {
        std::memcpy(setupAndData.data() + LIBUSB_CONTROL_SETUP_SIZE, buffer, length);
    }
    LibusbTransfer transfer;
    if (!transfer.IsValid()) {
        return LibusbError::NoMemory;
    }
    transfer.FillControl(handle_, setupAndData.data(), timeoutMs);
    const LibusbError::Enum result = RunTransfer(transfer, controlMutex_, transferred);
    transferred = std::min<std::uint32_t>(transferred, length);
    if (in && transferred > 0) {
        std::memcpy(buffer, setupAndData.data() + LIBUSB_CONTROL_SETUP_SIZE, transferred);
    }
    NotifyLibusbControlObserver(
        {requestType, request, value, index, buffer, in ? transferred : length, result});
    return result;
}

std::uint16_t LibusbDeviceHandle::GetMaxPacketSize(std::uint8_t endpoint) {
    Endpoint found{};
    return FindEndpoint(endpoint, found) ? found.maxPacketSize : 0;
}

LibusbError::Enum LibusbDeviceHandle::ClearHalt(std::uint8_t endpoint) {
    return LibusbError::FromLibusb(libusb_clear_halt(handle_, endpoint));
}

LibusbError::Enum LibusbDeviceHandle::GetStringDescriptorText(std::uint8_t index, char* buffer,
                                                              std::uint32_t size,
                                                              std::uint32_t& descriptorLength) {
    descriptorLength = 0;
    if (buffer == nullptr || size == 0) {
        return LibusbError::InvalidParam;
    }
    buffer[0] = '\0';
    std::uint8_t reply[kStringRequestLength] = {};
    std::uint32_t received = 0;
    LibusbError::Enum result = ControlTransfer(LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR, 0x0300, 0,
                                               reply, sizeof reply, received, kStringRequestTimeoutMs);
    if (result != LibusbError::Success) {
        return result;
    }
    if (received < 4) {
        return LibusbError::IoError;
    }
    const auto language = static_cast<std::uint16_t>(reply[2] | (reply[3] << 8));
    result = ControlTransfer(LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
                             static_cast<std::uint16_t>(0x0300 | index), language, reply, sizeof reply,
                             received, kStringRequestTimeoutMs);
    if (result != LibusbError::Success) {
        return result;
    }
    if (received < 2 || reply[1] != LIBUSB_DT_STRING || reply[0] > received) {
        return LibusbError::IoError;
    }
    const std::uint32_t length = std::min<std::uint32_t>(reply[0], 128);
    std::uint32_t written = 0;
    for (std::uint32_t unit = 2; unit + 1 < length && written + 1 < size; unit += 2) {
        buffer[written++] = reply[unit + 1] == 0 ? static_cast<char>(reply[unit]) : '?';
    }
    buffer[written] = '\0';
    descriptorLength = reply[0];
    return LibusbError::Success;
}
