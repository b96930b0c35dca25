#include "ant/dsi_framer_ant.h"

#include <chrono>
#include <cstring>

struct DSIFramerANT::ResponseWaiter {
    DSIFramerANT* framer = nullptr;
    ResponseWaiter* next = nullptr;
    std::uint8_t matchLength = 0;
    std::uint8_t receivedLength = 0;
    std::uint8_t messageId = 0;
    std::uint8_t data[ANT_MAX_PAYLOAD_SIZE] = {};
    DSI_CONDITION_VAR condition{};
    bool conditionCreated = false;
    bool received = false;
};

namespace {

constexpr std::uint8_t kBurstSequenceMask = 0xE0;
constexpr std::uint8_t kBurstSinglePacket = 0x80; // last packet, sequence 0
constexpr std::uint8_t kChannelMask = 0x1F;

} // namespace

DSIFramerANT::DSIFramerANT(DSISerial* serial) : DSIFramer(serial), queue_(new Slot[kSlotCount]) {
    conditionCreated_ = DSIThread_CondInit(&messageCondition_) == DSI_THREAD_ENONE;
    receiveMutexCreated_ = DSIThread_MutexInit(&receiveMutex_) == DSI_THREAD_ENONE;
    waiterMutexCreated_ = DSIThread_MutexInit(&waiterMutex_) == DSI_THREAD_ENONE;
    constructed_ = conditionCreated_ && receiveMutexCreated_ && waiterMutexCreated_;
    Init(serial);
}

DSIFramerANT::~DSIFramerANT() {
    if (conditionCreated_) {
        DSIThread_CondDestroy(&messageCondition_);
    }
    if (receiveMutexCreated_) {
        DSIThread_MutexDestroy(&receiveMutex_);
    }
    if (waiterMutexCreated_) {
        DSIThread_MutexDestroy(&waiterMutex_);
    }
}

bool DSIFramerANT::Init(DSISerial* serial) {
    if (constructed_) {
        DSIThread_MutexLock(&receiveMutex_);
    }
    receiveIndex_ = 0;
    writeIndex_ = 0;
    readIndex_ = 0;
    errorKind_ = DSI_FRAMER_ANT_ERROR_NONE;
    if (serial != nullptr) {
        serial_ = serial;
    }
    if (constructed_) {
        DSIThread_MutexUnlock(&receiveMutex_);
    }
    return serial_ != nullptr && constructed_;
}

void DSIFramerANT::ProcessByte(std::uint8_t byte) {
    if (!constructed_) {
        return;
    }
    DSIThread_MutexLock(&receiveMutex_);
    receiveLocked(byte);
    DSIThread_MutexUnlock(&receiveMutex_);
}

void DSIFramerANT::receiveLocked(std::uint8_t byte) {
    if (receiveIndex_ == 0) {
        if (byte == ANT_SYNC_BYTE) {
            receiveBuffer_[0] = byte;
            checksum_ = byte;
            expectedIndex_ = 2;
            receiveIndex_ = 1;
        }
        return;
    }
    receiveBuffer_[receiveIndex_] = byte;
    checksum_ ^= byte;
    if (receiveIndex_ == 1) {
        // Nothing longer can come from a stick: a bigger length byte means the sync byte was noise.
        if (byte > ANT_MAX_PAYLOAD_SIZE) {
            recordError(DSI_FRAMER_ANT_ERROR_MESSAGE_TOO_LONG, 0);
            resyncLocked();
            return;
        }
        expectedIndex_ = static_cast<std::uint16_t>(byte + 3);
        receiveIndex_ = 2;
        return;
    }
    if (receiveIndex_ < expectedIndex_) {
        ++receiveIndex_;
        return;
    }
    if (checksum_ == 0) {
        processMessage();
        receiveIndex_ = 0;
        return;
    }
    recordError(DSI_FRAMER_ANT_ERROR_SERIAL, DSI_FRAMER_ANT_DETAIL_CHECKSUM);
    resyncLocked();
}

// The frame just abandoned began with a false sync byte; a real frame may
// start anywhere after it, so those bytes are searched again. The nesting is
// bounded by the frame length.
void DSIFramerANT::resyncLocked() {
    std::uint8_t rest[kReceiveBufferSize];
    const std::uint16_t count = receiveIndex_;
    std::memcpy(rest, &receiveBuffer_[1], count);
    receiveIndex_ = 0;
    for (std::uint16_t i = 0; i < count; ++i) {
        receiveLocked(rest[i]);
    }
}

void DSIFramerANT::Error(std::uint8_t errorCode) {
    if (!constructed_) {
        return;
    }
    DSIThread_MutexLock(&receiveMutex_);
    recordError(DSI_FRAMER_ANT_ERROR_SERIAL, errorCode);
    DSIThread_MutexUnlock(&receiveMutex_);
}

void DSIFramerANT::recordError(std::uint8_t kind, std::uint8_t detail) {
    errorDetail_ = detail;
    errorKind_ = kind;
    DSIThread_CondSignal(&messageCondition_);
}

// Runs under the receive mutex with a good frame in the receive buffer.
void DSIFramerANT::processMessage() {
    std::uint8_t id = receiveBuffer_[2];
    const std::uint8_t length = receiveBuffer_[1];
    std::uint8_t* const payload = &receiveBuffer_[3];
    if (id == ANT_MESG_STARTUP_MESG_ID) {
        const draftwell::MutexLock lock(startupMutex_);
        ++startupCount_;
        startupArrived_.notify_all();
    }

    for (;;) {
        DSIThread_MutexLock(&waiterMutex_);
        for (ResponseWaiter* waiter = waiters_; waiter != nullptr; waiter = waiter->next) {
            if (waiter->received || waiter->messageId != id || length < waiter->matchLength ||
                std::memcmp(waiter->data, payload, waiter->matchLength) != 0) {
                continue;
            }
            waiter->receivedLength = length;
            std::memcpy(waiter->data + waiter->matchLength, payload + waiter->matchLength,
                        ANT_MAX_PAYLOAD_SIZE - waiter->matchLength);
            waiter->received = true;
            DSIThread_CondSignal(&waiter->condition);
        }
        DSIThread_MutexUnlock(&waiterMutex_);

        // A burst of one packet is really an acknowledged message.
        const bool burst = id == ANT_MESG_BURST_DATA_ID || id == ANT_MESG_EXT_BURST_DATA_ID;
        if (burst && length > 0 && (payload[0] & kBurstSequenceMask) == kBurstSinglePacket) {
            id = ANT_MESG_ACKNOWLEDGED_DATA_ID;
            payload[0] &= kChannelMask;
            continue;
        }
        break;
    }

    if (static_cast<std::uint16_t>(writeIndex_ + 1) == readIndex_) {
        recordError(DSI_FRAMER_ANT_ERROR_QUEUE_OVERFLOW, 0);
        return;
    }
    Slot& slot = queue_[writeIndex_];
    slot.size = length;
    slot.id = id;
    std::memcpy(slot.payload, payload, length < ANT_MAX_PAYLOAD_SIZE ? length : ANT_MAX_PAYLOAD_SIZE);
    ++writeIndex_;
    DSIThread_CondSignal(&messageCondition_);
}

bool DSIFramerANT::WriteMessage(const ANT_MESSAGE& message, std::uint16_t payloadSize) {
    if (payloadSize > ANT_MAX_PAYLOAD_SIZE || serial_ == nullptr) {
        return false;
    }
    std::uint8_t frame[ANT_MAX_PAYLOAD_SIZE + 6];
    frame[0] = ANT_SYNC_BYTE;
    frame[1] = static_cast<std::uint8_t>(payloadSize);
    frame[2] = message.ucMessageID;
    std::memcpy(&frame[3], message.aucData, payloadSize);
    std::uint8_t checksum = 0;
    for (std::uint16_t i = 0; i < payloadSize + 3u; ++i) {
        checksum ^= frame[i];
    }
    frame[payloadSize + 3] = checksum;
    frame[payloadSize + 4] = 0;
    frame[payloadSize + 5] = 0;
    return serial_->WriteBytes(frame, payloadSize + 6u);
}

std::uint16_t DSIFramerANT::peekLocked() const {
    if (errorKind_ != DSI_FRAMER_ANT_ERROR_NONE) {
        return DSI_FRAMER_ERROR;
    }
    if (readIndex_ == writeIndex_) {
        return DSI_FRAMER_EMPTY;
    }
    return queue_[readIndex_].size;
}

std::uint16_t DSIFramerANT::WaitForMessage(std::uint32_t timeoutMs) {
    if (!constructed_) {
        return DSI_FRAMER_ERROR;
    }
    DSIThread_MutexLock(&receiveMutex_);
    std::uint16_t result = peekLocked();
    if (result == DSI_FRAMER_EMPTY && timeoutMs != 0) {
        const DSI_THREAD_RESULT wait = DSIThread_CondTimedWait(&messageCondition_, &receiveMutex_, timeoutMs);
        if (wait == DSI_THREAD_ENONE) {
            result = peekLocked();
        } else if (wait != DSI_THREAD_ETIMEDOUT) {
            errorKind_ = DSI_FRAMER_ANT_ERROR_WAIT_FAILED;
            result = DSI_FRAMER_ERROR;
        }
    }
    DSIThread_MutexUnlock(&receiveMutex_);
    return result;
}

void DSIFramerANT::Interrupt() {
    if (!constructed_) {
        return;
    }
    DSIThread_MutexLock(&receiveMutex_);
    DSIThread_CondSignal(&messageCondition_);
    DSIThread_MutexUnlock(&receiveMutex_);
}

std::uint16_t DSIFramerANT::GetMessage(ANT_MESSAGE* destination, std::uint16_t sizeLimit) {
    if (!constructed_ || destination == nullptr) {
        return DSI_FRAMER_ERROR;
    }
    DSIThread_MutexLock(&receiveMutex_);
    std::uint16_t result = DSI_FRAMER_EMPTY;
    if (errorKind_ != DSI_FRAMER_ANT_ERROR_NONE) {
        destination->ucMessageID = errorKind_;
        if (errorKind_ == DSI_FRAMER_ANT_ERROR_SERIAL) {
            destination->aucData[0] = errorDetail_;
        }
        errorKind_ = DSI_FRAMER_ANT_ERROR_NONE;
        result = DSI_FRAMER_ERROR;
    } else if (readIndex_ != writeIndex_) {
        const Slot& slot = queue_[readIndex_];
        std::uint16_t size = slot.size;
        if (sizeLimit != 0 && size > sizeLimit) {
            size = sizeLimit;
        }
        if (size <= ANT_MAX_PAYLOAD_SIZE) {
            destination->ucMessageID = slot.id;
            std::memcpy(destination->aucData, slot.payload, size);
            result = size;
        } else {
            destination->ucMessageID = DSI_FRAMER_ANT_ERROR_MESSAGE_TOO_LONG;
            result = DSI_FRAMER_ERROR;
        }
        ++readIndex_;
    }
    DSIThread_MutexUnlock(&receiveMutex_);
    return result;
}

DSIFramerANT::ResponseWaiter*
DSIFramerANT::registerWaiter(std::uint8_t messageId, const std::uint8_t* pattern, std::uint8_t matchLength) {
    auto* waiter = new ResponseWaiter;
    waiter->framer = this;
    waiter->messageId = messageId;
    waiter->matchLength = matchLength;
    if (matchLength > 0) {
        std::memcpy(waiter->data, pattern, matchLength);
    }
    waiter->conditionCreated = DSIThread_CondInit(&waiter->condition) == DSI_THREAD_ENONE;
    if (!waiter->conditionCreated) {
        delete waiter;
        return nullptr;
    }
    DSIThread_MutexLock(&waiterMutex_);
    ResponseWaiter** tail = &waiters_;
    while (*tail != nullptr) {
        tail = &(*tail)->next;
    }
    *tail = waiter;
    DSIThread_MutexUnlock(&waiterMutex_);
    return waiter;
}

void DSIFramerANT::unregisterWaiter(ResponseWaiter* waiter) {
    DSIThread_MutexLock(&waiterMutex_);
    for (ResponseWaiter** link = &waiters_; *link != nullptr; link = &(*link)->next) {
        if (*link == waiter) {
            *link = waiter->next;
            break;
        }
    }
    waiter->next = nullptr;
    DSIThread_MutexUnlock(&waiterMutex_);
}

void DSIFramerANT::discardWaiter(ResponseWaiter* waiter) {
    if (waiter == nullptr) {
        return;
    }
    unregisterWaiter(waiter);
    DSIThread_CondDestroy(&waiter->condition);
    delete waiter;
}

bool DSIFramerANT::waitForWaiter(ResponseWaiter* waiter, std::uint32_t timeoutMs) {
    DSIThread_MutexLock(&waiterMutex_);
    // A spurious wake-up must not fail a command whose answer is still due.
    const std::uint32_t start = DSIThread_GetSystemTime();
    while (!waiter->received) {
        const std::uint32_t waited = DSIThread_GetSystemTime() - start;
        if (waited >= timeoutMs || DSIThread_CondTimedWait(&waiter->condition, &waiterMutex_,
                                                           timeoutMs - waited) == DSI_THREAD_EOTHER) {
            break;
        }
    }
    const bool received = waiter->received;
    DSIThread_MutexUnlock(&waiterMutex_);
    unregisterWaiter(waiter);
    return received;
}

bool DSIFramerANT::SendCommand(const ANT_MESSAGE& message, std::uint16_t payloadSize,
                               std::uint32_t timeoutMs) {
    if (timeoutMs == 0) {
        return WriteMessage(message, payloadSize);
    }
    if (!constructed_) {
        return false;
    }
    const std::uint8_t pattern[2] = {message.aucData[0], message.ucMessageID};
    ResponseWaiter* waiter = registerWaiter(ANT_MESG_RESPONSE_EVENT_ID, pattern, 2);
    if (waiter == nullptr) {
        return false;
    }
    if (!WriteMessage(message, payloadSize)) {
        discardWaiter(waiter);
        return false;
    }
    const bool received = waitForWaiter(waiter, timeoutMs);
    const bool accepted = received && waiter->data[2] == ANT_RESPONSE_NO_ERROR;
    discardWaiter(waiter);
    return accepted;
}

bool DSIFramerANT::SetNetworkKey(std::uint8_t networkNumber, const std::uint8_t* key,
                                 std::uint32_t timeoutMs) {
    if (key == nullptr) {
        return false;
    }
    ANT_MESSAGE message{};
    message.ucMessageID = ANT_MESG_NETWORK_KEY_ID;
    message.aucData[0] = networkNumber;
    std::memcpy(&message.aucData[1], key, ANT_NETWORK_KEY_SIZE);
    return SendCommand(message, 1 + ANT_NETWORK_KEY_SIZE, timeoutMs);
}

bool DSIFramerANT::EnableExtendedMessages(std::uint8_t enable, std::uint32_t timeoutMs) {
    ANT_MESSAGE message{};
    message.ucMessageID = ANT_MESG_ENABLE_EXT_MESSAGES_ID;
    message.aucData[0] = 0;
    message.aucData[1] = enable != 0 ? 1 : 0;
    return SendCommand(message, 2, timeoutMs);
}

bool DSIFramerANT::AssignChannelExt(std::uint8_t channel, std::uint8_t channelType,
                                    std::uint8_t networkNumber, std::uint8_t extendedAssignment,
                                    std::uint32_t timeoutMs) {
    ANT_MESSAGE message{};
    message.ucMessageID = ANT_MESG_ASSIGN_CHANNEL_ID;
    message.aucData[0] = channel;
    message.aucData[1] = channelType;
    message.aucData[2] = networkNumber;
    message.aucData[3] = extendedAssignment;
    return SendCommand(message, 4, timeoutMs);
}

bool DSIFramerANT::SetChannelRFFrequency(std::uint8_t channel, std::uint8_t frequency,
                                         std::uint32_t timeoutMs) {
    ANT_MESSAGE message{};
    message.ucMessageID = ANT_MESG_CHANNEL_RADIO_FREQ_ID;
    message.aucData[0] = channel;
    message.aucData[1] = frequency;
    return SendCommand(message, 2, timeoutMs);
}

bool DSIFramerANT::SetChannelID(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                                std::uint8_t transmissionType, std::uint32_t timeoutMs) {
    ANT_MESSAGE message{};
    message.ucMessageID = ANT_MESG_CHANNEL_ID_ID;
    message.aucData[0] = channel;
    message.aucData[1] = static_cast<std::uint8_t>(deviceNumber & 0xFF);
    message.aucData[2] = static_cast<std::uint8_t>(deviceNumber >> 8);
    message.aucData[3] = deviceType;
    message.aucData[4] = transmissionType;
    return SendCommand(message, 5, timeoutMs);
}

bool DSIFramerANT::OpenRxScanMode(std::uint32_t timeoutMs) {
    ANT_MESSAGE message{};
    message.ucMessageID = ANT_MESG_OPEN_RX_SCAN_ID;
    message.aucData[0] = 0;
    return SendCommand(message, 1, timeoutMs);
}

bool DSIFramerANT::CloseChannel(std::uint8_t channel, std::uint32_t timeoutMs) {
    ANT_MESSAGE message{};
    message.ucMessageID = ANT_MESG_CLOSE_CHANNEL_ID;
    message.aucData[0] = channel;
    if (timeoutMs == 0) {
        return WriteMessage(message, 1);
    }
    const std::uint8_t closedEvent[3] = {channel, ANT_MESG_EVENT_ID, ANT_EVENT_CHANNEL_CLOSED};
    ResponseWaiter* event = registerWaiter(ANT_MESG_RESPONSE_EVENT_ID, closedEvent, 3);
    if (event == nullptr) {
        return false;
    }
    bool closed = SendCommand(message, 1, timeoutMs);
    if (closed) {
        closed = waitForWaiter(event, timeoutMs);
    }
    discardWaiter(event);
    return closed;
}

bool DSIFramerANT::UnAssignChannel(std::uint8_t channel, std::uint32_t timeoutMs) {
    ANT_MESSAGE message{};
    message.ucMessageID = ANT_MESG_UNASSIGN_CHANNEL_ID;
    message.aucData[0] = channel;
    return SendCommand(message, 1, timeoutMs);
}

bool DSIFramerANT::ResetSystem(std::uint32_t timeoutMs) {
    ANT_MESSAGE message{};
    message.ucMessageID = ANT_MESG_SYSTEM_RESET_ID;
    message.aucData[0] = 0;
    if (timeoutMs == 0) {
        return WriteMessage(message, 1);
    }
    ResponseWaiter* startup = registerWaiter(ANT_MESG_STARTUP_MESG_ID, nullptr, 0);
    if (startup == nullptr) {
        return false;
    }
    bool started = WriteMessage(message, 1);
    if (started) {
        started = waitForWaiter(startup, timeoutMs);
    }
    discardWaiter(startup);
    return started;
}

bool DSIFramerANT::SendRequest(std::uint8_t messageId, std::uint8_t channel, ANT_MESSAGE_ITEM* response,
                               std::uint32_t timeoutMs) {
    ANT_MESSAGE message{};
    message.ucMessageID = ANT_MESG_REQUEST_ID;
    message.aucData[0] = channel;
    message.aucData[1] = messageId;
    if (timeoutMs == 0) {
        return WriteMessage(message, 2);
    }
    ResponseWaiter* answer = registerWaiter(messageId, nullptr, 0);
    if (answer == nullptr) {
        return false;
    }
    bool answered = WriteMessage(message, 2);
    if (answered) {
        answered = waitForWaiter(answer, timeoutMs);
    }
    if (answered && response != nullptr) {
        response->ucSize = answer->receivedLength;
        response->stANTMessage.ucMessageID = messageId;
        std::memcpy(response->stANTMessage.aucData, answer->data, ANT_MAX_PAYLOAD_SIZE);
    }
    discardWaiter(answer);
    return answered;
}

std::uint64_t DSIFramerANT::StartupCount() {
    const draftwell::MutexLock lock(startupMutex_);
    return startupCount_;
}

bool DSIFramerANT::WaitForStartupAfter(std::uint64_t count, std::uint32_t timeoutMs) {
    draftwell::MutexLock lock(startupMutex_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (startupCount_ <= count) {
        if (startupArrived_.wait_until(lock.forWait(), deadline) == std::cv_status::timeout) {
            return startupCount_ > count;
        }
    }
    return true;
}

std::unique_ptr<std::uint8_t[]> DSIFramerANT::AllocateMessageBuffer(std::uint16_t size) {
    if (size >= ANT_MAX_MESSAGE_SIZE) {
        return nullptr;
    }
    return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[ANT_MAX_MESSAGE_SIZE]());
}
