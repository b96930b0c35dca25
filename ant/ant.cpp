#include "ant/ant.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ant/ant_message.h"
#include "ant/dsi_framer_ant.h"
#include "ant/dsi_serial_generic.h"
#include "ant/dsi_thread.h"
#include "ant/usb/stick_baud_rate.h"
#include "ant/usb/usb_device_handle.h"

namespace {

// Stops the process: only for caller errors and failed thread primitives,
// never for anything the stick sends.
[[noreturn]] void assertionFailed(const char* function, const char* condition) {
    std::fprintf(stderr, "%s (ant): assertion failed: %s\n", function, condition);
    std::abort();
}

#define ANT_ASSERT(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            assertionFailed(__func__, #condition);                                                           \
        }                                                                                                    \
    } while (false)

struct ChannelEntry {
    std::atomic<ANT_CHANNEL_EVENT_FUNC> callback{nullptr};
    std::atomic<std::uint8_t*> buffer{nullptr};
};

// Registrations are read by the message thread without a lock; atomics give it
// either the old or the new value.
std::atomic<DSI_THREAD_ID> eTheThread{nullptr};
bool bInitialized = false;
DSISerialGeneric* pclSerialObject = nullptr;
DSIFramerANT* pclMessageObject = nullptr;
DSI_CONDITION_VAR condMessageThreadExit;
DSI_MUTEX mutexMessageThreadExit;
std::atomic<bool> bRunThread{false};
DSI_THREAD_ID hMessageThread = nullptr;
std::atomic<ANT_RESPONSE_FUNC> pfResponseFunc{nullptr};
std::atomic<std::uint8_t*> pucResponseBuffer{nullptr};
ChannelEntry channelTable[ANT_MAX_CHANNELS];

constexpr std::uint32_t kMessageWaitMs = 1000;
constexpr std::uint8_t kChannelNumberMask = 0x1F;
constexpr std::uint16_t kPlainDataSize = 9; // channel byte and 8 data bytes

// Startup messages counted by the framer when the last reset was sent.
std::uint64_t startupsBeforeReset = 0;

void release() {
    if (pclSerialObject != nullptr) {
        // The port stops calling the framer before the framer goes.
        pclSerialObject->Close(false);
        delete pclSerialObject;
        pclSerialObject = nullptr;
    }
    delete pclMessageObject;
    pclMessageObject = nullptr;
}

// The message is a reused buffer: only `size` bytes are this message's, so the rest is zeroed
// rather than left holding an earlier, longer one.
void toChannel(std::uint8_t channel, std::uint8_t event, const ANT_MESSAGE& message, std::uint16_t size) {
    if (channel >= ANT_MAX_CHANNELS) {
        return;
    }
    const ANT_CHANNEL_EVENT_FUNC callback = channelTable[channel].callback.load();
    std::uint8_t* const buffer = channelTable[channel].buffer.load();
    if (callback == nullptr || buffer == nullptr) {
        return;
    }
    const std::uint16_t arrived = size < ANT_MAX_PAYLOAD_SIZE ? size : ANT_MAX_PAYLOAD_SIZE;
    std::memcpy(buffer, message.aucData, arrived);
    std::memset(buffer + arrived, 0, ANT_MAX_PAYLOAD_SIZE - arrived);
    callback(channel, event);
}

void dispatchMessage(const ANT_MESSAGE& message, std::uint16_t size) {
    const ANT_RESPONSE_FUNC response = pfResponseFunc.load();
    if (response == nullptr) {
        return;
    }
    const std::uint8_t channel = message.aucData[0] & kChannelNumberMask;
    const std::uint8_t id = message.ucMessageID;
    const bool flagged = size > kPlainDataSize;

    switch (id) {
    case ANT_MESG_RESPONSE_EVENT_ID:
        if (message.aucData[1] == ANT_MESG_EVENT_ID) {
            toChannel(channel, message.aucData[2], message, size);
            return;
        }
        break;
    case ANT_MESG_BROADCAST_DATA_ID:
        toChannel(channel, flagged ? ANT_EVENT_RX_FLAG_BROADCAST : ANT_EVENT_RX_BROADCAST, message, size);
        return;
    case ANT_MESG_ACKNOWLEDGED_DATA_ID:
        toChannel(channel, flagged ? ANT_EVENT_RX_FLAG_ACKNOWLEDGED : ANT_EVENT_RX_ACKNOWLEDGED, message,
                  size);
        return;
    case ANT_MESG_BURST_DATA_ID:
        toChannel(channel, flagged ? ANT_EVENT_RX_FLAG_BURST_PACKET : ANT_EVENT_RX_BURST_PACKET, message,
                  size);
        return;
    case ANT_MESG_EXT_BROADCAST_DATA_ID:
        toChannel(channel, ANT_EVENT_RX_EXT_BROADCAST, message, size);
        return;
    case ANT_MESG_EXT_ACKNOWLEDGED_DATA_ID:
        toChannel(channel, ANT_EVENT_RX_EXT_ACKNOWLEDGED, message, size);
        return;
    case ANT_MESG_EXT_BURST_DATA_ID:
        toChannel(channel, ANT_EVENT_RX_EXT_BURST_PACKET, message, size);
        return;
    case ANT_MESG_RSSI_BROADCAST_DATA_ID:
        toChannel(channel, ANT_EVENT_RX_RSSI_BROADCAST, message, size);
        return;
    case ANT_MESG_RSSI_ACKNOWLEDGED_DATA_ID:
        toChannel(channel, ANT_EVENT_RX_RSSI_ACKNOWLEDGED, message, size);
        return;
    case ANT_MESG_RSSI_BURST_DATA_ID:
        toChannel(channel, ANT_EVENT_RX_RSSI_BURST_PACKET, message, size);
        return;
    default:
        break;
    }

    std::uint8_t* const buffer = pucResponseBuffer.load();
    if (buffer == nullptr) {
        return;
    }
    switch (id) {
    case ANT_MESG_RESPONSE_EVENT_ID:
    case ANT_MESG_57_ID:
        std::memcpy(buffer, message.aucData, 3);
        break;
    case ANT_MESG_56_ID:
        std::memcpy(buffer, message.aucData, size);
        buffer[10] = static_cast<std::uint8_t>(size);
        break;
    default:
        std::memcpy(buffer, message.aucData, size);
        break;
    }
    response(channel, id);
}

void* messageThread(void*) {
    eTheThread.store(DSIThread_GetCurrentThreadId());
    ANT_MESSAGE message{};
    while (bRunThread.load()) {
        pclMessageObject->WaitForMessage(kMessageWaitMs);
        const std::uint16_t size = pclMessageObject->GetMessage(&message);
        // An error report has already been consumed by GetMessage; the message
        // queued behind it is good and must not be thrown away with it.
        if (size == DSI_FRAMER_ERROR || size == DSI_FRAMER_EMPTY || size == 0) {
            continue;
        }
        dispatchMessage(message, size);
    }
    DSIThread_MutexLock(&mutexMessageThreadExit);
    const DSI_THREAD_RESULT ucCondResult = DSIThread_CondSignal(&condMessageThreadExit);
    ANT_ASSERT(ucCondResult == DSI_THREAD_ENONE);
    DSIThread_MutexUnlock(&mutexMessageThreadExit);
    return nullptr;
}

} // namespace

bool ANT_InitExt(std::uint8_t usbDeviceNumber, std::uint32_t baudRate, std::uint8_t portType,
                 std::uint8_t framingType) {
    {
        const DSI_THREAD_ID eThread = DSIThread_GetCurrentThreadId();
        ANT_ASSERT(eTheThread != eThread);
    }
    ANT_ASSERT(!bInitialized);
    if (portType != 0) {
        return false;
    }

    pclSerialObject = new DSISerialGeneric;
    if (!pclSerialObject->Init(baudRate, usbDeviceNumber) || framingType != 0) {
        release();
        return false;
    }
    pclMessageObject = new DSIFramerANT(pclSerialObject);
    if (!pclMessageObject->Init(pclSerialObject)) {
        release();
        return false;
    }
    pclSerialObject->SetCallback(pclMessageObject);
    if (!pclSerialObject->Open()) {
        release();
        return false;
    }

    const DSI_THREAD_RESULT ucCondInit = DSIThread_CondInit(&condMessageThreadExit);
    ANT_ASSERT(ucCondInit == DSI_THREAD_ENONE);
    const DSI_THREAD_RESULT ucMutexInit = DSIThread_MutexInit(&mutexMessageThreadExit);
    ANT_ASSERT(ucMutexInit == DSI_THREAD_ENONE);

    bRunThread.store(true);
    hMessageThread = DSIThread_CreateThread(messageThread, nullptr);
    if (hMessageThread == nullptr) {
        bRunThread.store(false);
        DSIThread_MutexDestroy(&mutexMessageThreadExit);
        DSIThread_CondDestroy(&condMessageThreadExit);
        release();
        return false;
    }
    bInitialized = true;
    return true;
}

bool ANT_Init(std::uint8_t usbDeviceNumber, std::uint32_t baudRate) {
    return ANT_InitExt(usbDeviceNumber, baudRate, 0, 0);
}

std::uint32_t ANT_GetDefaultBaudRate(std::uint8_t usbDeviceNumber) {
    const USBDeviceList<const USBDevice*> devices = USBDeviceHandle::GetAllDevices(USB_DEVICE_TYPE_ALL);
    return usbDeviceNumber < devices.GetSize() ? DefaultBaudRate(*devices[usbDeviceNumber]) : 0;
}

void ANT_Close() {
    {
        const DSI_THREAD_ID eThread = DSIThread_GetCurrentThreadId();
        ANT_ASSERT(eTheThread != eThread);
    }
    if (!bInitialized) {
        return;
    }
    bInitialized = false;

    // Bounded: the thread's message wait is cut short below; a callback in progress runs to its end.
    DSIThread_MutexLock(&mutexMessageThreadExit);
    bRunThread.store(false);
    // Saves waiting out the thread's current message wait.
    pclMessageObject->Interrupt();
    const DSI_THREAD_RESULT ucWaitResult =
        DSIThread_CondTimedWait(&condMessageThreadExit, &mutexMessageThreadExit, DSI_THREAD_INFINITE);
    ANT_ASSERT(ucWaitResult == DSI_THREAD_ENONE);
    DSIThread_MutexUnlock(&mutexMessageThreadExit);

    // The thread has signalled its end, so the join is immediate.
    DSIThread_JoinThread(hMessageThread);
    hMessageThread = nullptr;
    // Cleared so a later thread record at the same address is never mistaken for it.
    eTheThread.store(nullptr);

    DSIThread_MutexDestroy(&mutexMessageThreadExit);
    DSIThread_CondDestroy(&condMessageThreadExit);
    release();
}

void ANT_SetResponseCallback(ANT_RESPONSE_FUNC callback, std::uint8_t* responseBuffer) {
    pfResponseFunc.store(callback);
    pucResponseBuffer.store(responseBuffer);
}

void ANT_SetChannelEventCallback(std::uint8_t channel, ANT_CHANNEL_EVENT_FUNC callback,
                                 std::uint8_t* channelBuffer) {
    if (channel >= ANT_MAX_CHANNELS) {
        return;
    }
    channelTable[channel].callback.store(callback);
    channelTable[channel].buffer.store(channelBuffer);
}

void ANT_ClearCallbacks() {
    pfResponseFunc.store(nullptr);
    pucResponseBuffer.store(nullptr);
    for (ChannelEntry& entry : channelTable) {
        entry.callback.store(nullptr);
        entry.buffer.store(nullptr);
    }
}

bool ANT_ResetSystem() {
    if (pclMessageObject == nullptr) {
        return false;
    }
    startupsBeforeReset = pclMessageObject->StartupCount();
    return pclMessageObject->ResetSystem(0);
}

bool ANT_WaitForStartup(std::uint32_t timeoutMs) {
    return pclMessageObject != nullptr &&
           pclMessageObject->WaitForStartupAfter(startupsBeforeReset, timeoutMs);
}

bool ANT_SetNetworkKey(std::uint8_t networkNumber, const std::uint8_t* key, std::uint32_t timeoutMs) {
    return pclMessageObject != nullptr && pclMessageObject->SetNetworkKey(networkNumber, key, timeoutMs);
}

bool ANT_EnableExtendedMessages(std::uint8_t enable, std::uint32_t timeoutMs) {
    return pclMessageObject != nullptr && pclMessageObject->EnableExtendedMessages(enable, timeoutMs);
}

bool ANT_AssignChannelExt(std::uint8_t channel, std::uint8_t channelType, std::uint8_t networkNumber,
                          std::uint8_t extendedAssignment, std::uint32_t timeoutMs) {
    return pclMessageObject != nullptr &&
           pclMessageObject->AssignChannelExt(channel, channelType, networkNumber, extendedAssignment,
                                              timeoutMs);
}

bool ANT_SetChannelRadioFreq(std::uint8_t channel, std::uint8_t frequency, std::uint32_t timeoutMs) {
    return pclMessageObject != nullptr &&
           pclMessageObject->SetChannelRFFrequency(channel, frequency, timeoutMs);
}

bool ANT_SetChannelId(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                      std::uint8_t transmissionType, std::uint32_t timeoutMs) {
    return pclMessageObject != nullptr &&
           pclMessageObject->SetChannelID(channel, deviceNumber, deviceType, transmissionType, timeoutMs);
}

bool ANT_OpenRxScanMode(std::uint32_t timeoutMs) {
    return pclMessageObject != nullptr && pclMessageObject->OpenRxScanMode(timeoutMs);
}

bool ANT_CloseChannel(std::uint8_t channel, std::uint32_t timeoutMs) {
    return pclMessageObject != nullptr && pclMessageObject->CloseChannel(channel, timeoutMs);
}

bool ANT_UnassignChannel(std::uint8_t channel, std::uint32_t timeoutMs) {
    return pclMessageObject != nullptr && pclMessageObject->UnAssignChannel(channel, timeoutMs);
}

bool ANT_RequestMessage(std::uint8_t channel, std::uint8_t messageId) {
    return pclMessageObject != nullptr && pclMessageObject->SendRequest(messageId, channel, nullptr, 0);
}

void ANT_Sleep(std::uint32_t milliseconds) {
    DSIThread_Sleep(milliseconds);
}

const char* ANT_LibVersion() {
    return ANT_LIB_VERSION;
}
