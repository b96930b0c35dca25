#include "ant/dsi_serial_generic.h"

#include "ant/usb/usb_device.h"
#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_list.h"

struct DSISerialGeneric::Receiver {
    DSI_MUTEX mutex{};
    DSI_CONDITION_VAR stopped{};
    bool mutexCreated = false;
    bool conditionCreated = false;
    bool stop = true;
    bool ended = false;
    // Set when the port gave up waiting: the thread then closes the handle itself.
    bool abandoned = false;
    USBDeviceHandle* handle = nullptr;
    DSISerialCallback* callback = nullptr;

    ~Receiver() {
        if (mutexCreated) {
            DSIThread_MutexDestroy(&mutex);
        }
        if (conditionCreated) {
            DSIThread_CondDestroy(&stopped);
        }
    }
};

namespace {

constexpr std::uint32_t kReadBlock = 255;
constexpr std::uint32_t kReadTimeoutMs = 1000;
constexpr std::uint32_t kStopAcknowledgeMs = 3000;
constexpr std::uint16_t kPid50000Baud = 0x1004;

void* receiveThread(void* raw) {
    auto* handOver = static_cast<std::shared_ptr<DSISerialGeneric::Receiver>*>(raw);
    const std::shared_ptr<DSISerialGeneric::Receiver> receiver = std::move(*handOver);
    delete handOver;

    std::uint8_t buffer[kReadBlock];
    DSIThread_MutexLock(&receiver->mutex);
    while (!receiver->stop) {
        DSIThread_MutexUnlock(&receiver->mutex);
        std::uint32_t count = 0;
        const USBStatus status = receiver->handle->Read(buffer, kReadBlock, count, kReadTimeoutMs);
        // Bytes go out under the lock, so once Close holds it nothing more reaches the callback.
        DSIThread_MutexLock(&receiver->mutex);
        if (receiver->stop) {
            break;
        }
        switch (status) {
        case USBStatus::Success:
            for (std::uint32_t i = 0; i < count && i < kReadBlock; ++i) {
                receiver->callback->ProcessByte(buffer[i]);
            }
            break;
        case USBStatus::Timeout:
            break;
        case USBStatus::DeviceGone:
            receiver->callback->Error(DSI_SERIAL_EDEVICE_GONE);
            receiver->stop = true;
            break;
        default:
            receiver->callback->Error(DSI_SERIAL_EREAD);
            receiver->stop = true;
            break;
        }
    }
    receiver->stop = true;
    receiver->ended = true;
    DSIThread_CondSignal(&receiver->stopped);
    const bool abandoned = receiver->abandoned;
    DSIThread_MutexUnlock(&receiver->mutex);
    if (abandoned) {
        USBDeviceHandle::Close(receiver->handle, false);
    }
    return nullptr;
}

} // namespace

DSISerialGeneric::~DSISerialGeneric() {
    Close(false);
    delete device_;
}

bool DSISerialGeneric::Init(std::uint32_t baudRate, std::uint8_t deviceNumber) {
    Close(false);
    delete device_;
    device_ = nullptr;
    baudRate_ = baudRate;
    deviceNumber_ = deviceNumber;
    return true;
}

bool DSISerialGeneric::AutoInit() {
    Close(false);
    delete device_;
    device_ = nullptr;
    deviceNumber_ = kNoDevice;
    const USBDeviceList<const USBDevice*> devices = USBDeviceHandle::GetAvailableDevices(USB_DEVICE_TYPE_ALL);
    if (devices.GetSize() == 0) {
        return false;
    }
    if (!USBDeviceHandle::CopyDevice(device_, devices[0])) {
        device_ = nullptr;
        return false;
    }
    deviceNumber_ = 0;
    baudRate_ = device_->GetPid() == kPid50000Baud ? 50000 : 57600;
    return true;
}

std::uint32_t DSISerialGeneric::GetDeviceSerialNumber() {
    return handle_ == nullptr ? 0 : handle_->GetDevice().GetSerialNumber();
}

bool DSISerialGeneric::GetDeviceUSBInfo(std::uint8_t deviceNumber, std::uint8_t* productString,
                                        std::uint8_t* serialString, std::uint16_t bufferSize) {
    if (productString == nullptr || serialString == nullptr) {
        return false;
    }
    const USBDeviceList<const USBDevice*> devices = USBDeviceHandle::GetAllDevices(USB_DEVICE_TYPE_ALL);
    if (deviceNumber >= devices.GetSize()) {
        return false;
    }
    const USBDevice* device = devices[deviceNumber];
    return device->GetProductDescription(reinterpret_cast<char*>(productString), bufferSize) &&
           device->GetSerialString(serialString, bufferSize);
}

bool DSISerialGeneric::GetDevicePID(std::uint16_t& pid) {
    if (handle_ == nullptr) {
        return false;
    }
    pid = handle_->GetDevice().GetPid();
    return true;
}

bool DSISerialGeneric::GetDeviceVID(std::uint16_t& vid) {
    if (handle_ == nullptr) {
        return false;
    }
    vid = handle_->GetDevice().GetVid();
    return true;
}

bool DSISerialGeneric::Open() {
    Close(false);
    if (callback_ == nullptr) {
        return false;
    }

    bool opened = false;
    if (device_ != nullptr) {
        opened = USBDeviceHandle::Open(*device_, handle_, baudRate_);
    } else {
        const USBDeviceList<const USBDevice*> devices = USBDeviceHandle::GetAllDevices(USB_DEVICE_TYPE_ALL);
        if (deviceNumber_ >= devices.GetSize()) {
            return false;
        }
        opened = USBDeviceHandle::Open(*devices[deviceNumber_], handle_, baudRate_);
    }
    if (!opened || handle_ == nullptr) {
        handle_ = nullptr;
        Close(false);
        return false;
    }

    auto receiver = std::make_shared<Receiver>();
    receiver->mutexCreated = DSIThread_MutexInit(&receiver->mutex) == DSI_THREAD_ENONE;
    receiver->conditionCreated =
        receiver->mutexCreated && DSIThread_CondInit(&receiver->stopped) == DSI_THREAD_ENONE;
    if (!receiver->conditionCreated) {
        Close(false);
        return false;
    }
    receiver->handle = handle_;
    receiver->callback = callback_;
    receiver->stop = false;
    auto* handOver = new std::shared_ptr<Receiver>(receiver);
    thread_ = DSIThread_CreateThread(receiveThread, handOver);
    if (thread_ == nullptr) {
        delete handOver;
        Close(false);
        return false;
    }
    receiver_ = std::move(receiver);
    return true;
}

void DSISerialGeneric::Close(bool reset) {
    if (thread_ != nullptr) {
        Receiver& receiver = *receiver_;
        // Held by the thread only while it hands a block of bytes to the framer, which never blocks long.
        DSIThread_MutexLock(&receiver.mutex);
        receiver.stop = true;
        // Saves waiting out the thread's current read of up to 1000 ms.
        receiver.handle->WakeReader();
        // The thread may already be on its way out after an error; wait for its end either way.
        const std::uint32_t start = DSIThread_GetSystemTime();
        while (!receiver.ended) {
            const std::uint32_t waited = DSIThread_GetSystemTime() - start;
            if (waited >= kStopAcknowledgeMs ||
                DSIThread_CondTimedWait(&receiver.stopped, &receiver.mutex, kStopAcknowledgeMs - waited) ==
                    DSI_THREAD_EOTHER) {
                break;
            }
        }
        const bool ended = receiver.ended;
        if (!ended) {
            receiver.abandoned = true;
        }
        DSIThread_MutexUnlock(&receiver.mutex);
        if (ended) {
            DSIThread_JoinThread(thread_);
        } else {
            // Still inside a read of the handle: the thread closes the handle when that read returns.
            DSIThread_DestroyThread(thread_);
            DSIThread_ReleaseThread(thread_);
            handle_ = nullptr;
        }
        thread_ = nullptr;
        receiver_.reset();
    }
    if (handle_ != nullptr) {
        USBDeviceHandle::Close(handle_, reset);
        handle_ = nullptr;
    }
}

bool DSISerialGeneric::WriteBytes(const void* data, std::uint32_t size) {
    if (handle_ == nullptr || data == nullptr) {
        return false;
    }
    std::uint32_t written = 0;
    if (handle_->Write(data, size, written) != USBStatus::Success) {
        if (callback_ != nullptr) {
            callback_->Error(DSI_SERIAL_EWRITE);
        }
        return false;
    }
    return true;
}

std::uint8_t DSISerialGeneric::GetDeviceNumber() {
    return deviceNumber_;
}
