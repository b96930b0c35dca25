#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>

#include "ant/annotated_mutex.h"
#include "ant/ant_message.h"
#include "ant/dsi_framer.h"
#include "ant/dsi_thread.h"

// Error kinds reported by GetMessage in destination byte 0.
inline constexpr std::uint8_t DSI_FRAMER_ANT_ERROR_NONE = 0;
inline constexpr std::uint8_t DSI_FRAMER_ANT_ERROR_QUEUE_OVERFLOW = 1;
inline constexpr std::uint8_t DSI_FRAMER_ANT_ERROR_SERIAL = 2; // detail: serial code, or 4 for a checksum
inline constexpr std::uint8_t DSI_FRAMER_ANT_ERROR_MESSAGE_TOO_LONG = 3;
inline constexpr std::uint8_t DSI_FRAMER_ANT_ERROR_WAIT_FAILED = 255;
inline constexpr std::uint8_t DSI_FRAMER_ANT_DETAIL_CHECKSUM = 4;

// ANT framing with a fixed ring of received messages and response waiters.
// Lock order: receive mutex, then waiter mutex.
class DSIFramerANT : public DSIFramer {
  public:
    explicit DSIFramerANT(DSISerial* serial = nullptr);
    ~DSIFramerANT() override;
    DSIFramerANT(const DSIFramerANT&) = delete;
    DSIFramerANT& operator=(const DSIFramerANT&) = delete;

    // Empties the receiver and the queue; true only with a port and all locks created.
    bool Init(DSISerial* serial = nullptr);

    void ProcessByte(std::uint8_t byte) override;
    void Error(std::uint8_t errorCode) override;

    bool WriteMessage(const ANT_MESSAGE& message, std::uint16_t payloadSize) override;
    std::uint16_t WaitForMessage(std::uint32_t timeoutMs) override;
    std::uint16_t GetMessage(ANT_MESSAGE* destination, std::uint16_t sizeLimit = 0) override;

    // Cuts a WaitForMessage in progress short, so its caller can notice it is asked to stop.
    void Interrupt();

    // Writes a command; with a non-zero timeout succeeds only on its response with code 0.
    bool SendCommand(const ANT_MESSAGE& message, std::uint16_t payloadSize, std::uint32_t timeoutMs);

    bool SetNetworkKey(std::uint8_t networkNumber, const std::uint8_t* key, std::uint32_t timeoutMs);
    bool EnableExtendedMessages(std::uint8_t enable, std::uint32_t timeoutMs);
    bool AssignChannelExt(std::uint8_t channel, std::uint8_t channelType, std::uint8_t networkNumber,
                          std::uint8_t extendedAssignment, std::uint32_t timeoutMs);
    bool SetChannelRFFrequency(std::uint8_t channel, std::uint8_t frequency, std::uint32_t timeoutMs);
    bool SetChannelID(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                      std::uint8_t transmissionType, std::uint32_t timeoutMs);
    bool OpenRxScanMode(std::uint32_t timeoutMs);
    // With a timeout: also waits, as long again, for the channel-closed event.
    bool CloseChannel(std::uint8_t channel, std::uint32_t timeoutMs);
    bool UnAssignChannel(std::uint8_t channel, std::uint32_t timeoutMs);
    // With a timeout: succeeds when the startup message arrives.
    bool ResetSystem(std::uint32_t timeoutMs);
    // With a timeout: succeeds when a message with the requested ID arrives, copied to `response`.
    bool SendRequest(std::uint8_t messageId, std::uint8_t channel, ANT_MESSAGE_ITEM* response,
                     std::uint32_t timeoutMs);

    // Startup messages received so far. Counted on the receiving thread, so a wait for one is not
    // held up by whoever takes messages from the queue.
    std::uint64_t StartupCount();
    // True once the count exceeds `count`, false after timeoutMs.
    bool WaitForStartupAfter(std::uint64_t count, std::uint32_t timeoutMs);

    // Buffer for transfer routines: a new 42-byte message when size is below 42, else null.
    virtual std::unique_ptr<std::uint8_t[]> AllocateMessageBuffer(std::uint16_t size);

  private:
    struct ResponseWaiter;
    struct Slot {
        std::uint8_t size;
        std::uint8_t id;
        std::uint8_t payload[ANT_MAX_PAYLOAD_SIZE];
    };

    static constexpr std::uint32_t kSlotCount = 65536;
    // Sync, length, ID, the longest payload and the checksum.
    static constexpr std::size_t kReceiveBufferSize = ANT_MAX_PAYLOAD_SIZE + 4;

    void receiveLocked(std::uint8_t byte);
    void resyncLocked();
    void processMessage();
    void recordError(std::uint8_t kind, std::uint8_t detail);
    std::uint16_t peekLocked() const;

    ResponseWaiter* registerWaiter(std::uint8_t messageId, const std::uint8_t* pattern,
                                   std::uint8_t matchLength);
    void unregisterWaiter(ResponseWaiter* waiter);
    void discardWaiter(ResponseWaiter* waiter);
    // Waits up to timeoutMs for the waiter; true once it has received.
    bool waitForWaiter(ResponseWaiter* waiter, std::uint32_t timeoutMs);

    std::uint16_t receiveIndex_ = 0; // 0: waiting for sync
    std::uint8_t receiveBuffer_[kReceiveBufferSize] = {};
    std::uint8_t checksum_ = 0;
    std::uint16_t expectedIndex_ = 0;
    std::uint16_t writeIndex_ = 0;
    std::uint16_t readIndex_ = 0;
    std::unique_ptr<Slot[]> queue_;
    std::uint8_t errorKind_ = 0;
    std::uint8_t errorDetail_ = 0;
    bool constructed_ = false;
    bool receiveMutexCreated_ = false;
    bool waiterMutexCreated_ = false;
    bool conditionCreated_ = false;
    DSI_MUTEX receiveMutex_{};
    DSI_MUTEX waiterMutex_{};
    DSI_CONDITION_VAR messageCondition_{};
    ResponseWaiter* waiters_ = nullptr;
    draftwell::Mutex startupMutex_;
    std::condition_variable startupArrived_;
    std::uint64_t startupCount_ GUARDED_BY(startupMutex_) = 0;
};
