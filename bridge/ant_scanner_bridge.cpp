#include "bridge/ant_scanner_bridge.h"

#include <QStringList>

#include <utility>

#include "ant/ant.h"
#include "app/app_identity.h"
#include "bridge/ant_bridge_callbacks.h"
#include "bridge/stick_start.h"
#include "bridge/system_log.h"
#include "bridge/work_queue_assert.h"

namespace draftwell {

namespace {

constexpr std::uint8_t kChannel = 0;
constexpr std::uint8_t kNetworkNumber = 0;
constexpr std::uint8_t kChannelTypeReceive = 0x00;
constexpr std::uint8_t kExtendedAssignment = 0x01;
constexpr std::uint8_t kRFFrequency = 67; // 2,467 MHz
constexpr std::uint16_t kAnyDeviceNumber = 0;
constexpr std::uint8_t kDeviceType = 113;
constexpr std::uint8_t kTransmissionType = 5;
constexpr std::uint32_t kCommandTimeoutMs = 500;
constexpr std::uint32_t kNoWait = 0;
constexpr int kOpenAttempts = 2;
constexpr std::uint32_t kSettleAfterResetMs = 1000;
constexpr std::uint32_t kPauseBetweenAttemptsMs = 1000;
constexpr std::uint32_t kCloseShortPauseMs = 250;
constexpr std::uint32_t kCloseResetPauseMs = 1000;
constexpr std::chrono::milliseconds kReceiveTimeoutInterval{2000};
constexpr std::chrono::milliseconds kConnectionPollInterval{1000};
constexpr auto kSilence = std::chrono::seconds(2);
constexpr auto kDeviceExpiry = std::chrono::seconds(1);

constexpr std::uint8_t kExtendedBroadcastEvent = 0xA3;
constexpr std::uint8_t kExtendedAcknowledgedEvent = 0xA4;
constexpr std::uint8_t kBroadcastEvent = 0x9A;
constexpr std::uint8_t kDeviceNumberFlag = 0x80;
constexpr std::uint8_t kChannelStatusMessage = 0x52;
constexpr std::uint8_t kStartupMessage = 0x6F;
constexpr std::uint8_t kChannelClosedEvent = 0x07;

const char* const kInitFailed = "Failed to initialize ANT USB device. Check dongle connection.";
const char* const kResetFailed = "Failed to reset ANT USB device into a clean state.";

std::string workQueueLabel() {
    return std::string(kApplicationIdentifier) + ".ant";
}

QString rxLine(const QByteArray& payload) {
    QStringList pieces;
    for (const char byte : payload) {
        pieces << QString::asprintf("[%02X]", static_cast<unsigned>(static_cast<std::uint8_t>(byte)));
    }
    return QStringLiteral("RX ") + pieces.join(QLatin1Char(' '));
}

} // namespace

ANTScannerBridge::ANTScannerBridge(const ANTNetworkKey& networkKey, std::optional<std::uint32_t> baudRate)
    : networkKey_(networkKey), forcedBaudRate_(baudRate), anchor_(ActiveBridge::makeAnchor(this)),
      receiveHandOver_([this](std::function<void()> task) { workQueue_.post(std::move(task)); }),
      workQueue_(workQueueLabel()) {}

ANTScannerBridge::~ANTScannerBridge() {
    closeScanner();
    handlers_->detach();
    ActiveBridge::release(*anchor_);
}

void ANTScannerBridge::openScannerWithCompletion(OpenCompletion completion) {
    workQueue_.post([this, completion = std::move(completion)]() mutable {
        ScannerError error;
        const bool opened = openSequenceLocked(&error);
        handlers_->postOpenCompletion(std::move(completion),
                                      opened ? std::nullopt : std::optional<ScannerError>(error));
    });
}

bool ANTScannerBridge::openScannerWithError(ScannerError* error) {
    bool opened = false;
    performOnWorkQueueSync([&] { opened = openSequenceLocked(error); });
    return opened;
}

void ANTScannerBridge::closeScannerWithCompletion(CloseCompletion completion) {
    workQueue_.post([this, completion = std::move(completion)]() mutable {
        closeScannerLockedWithLog(true);
        handlers_->postCloseCompletion(std::move(completion));
    });
}

void ANTScannerBridge::closeScanner() {
    performOnWorkQueueSync([this] { closeScannerLockedWithLog(true); });
}

void ANTScannerBridge::setStatusHandler(StatusHandler handler) {
    handlers_->setStatusHandler(std::move(handler));
}

void ANTScannerBridge::setLogHandler(LogHandler handler) {
    handlers_->setLogHandler(std::move(handler));
}

void ANTScannerBridge::setPacketHandler(PacketHandler handler) {
    handlers_->setPacketHandler(std::move(handler));
}

bool ANTScannerBridge::isOpen() {
    bool value = false;
    performOnWorkQueueSync([&] { value = open_; });
    return value;
}

bool ANTScannerBridge::isReceiving() {
    bool value = false;
    performOnWorkQueueSync([&] { value = receiving_; });
    return value;
}

bool ANTScannerBridge::multipleDevices() {
    bool value = false;
    performOnWorkQueueSync([&] { value = multipleDevices_; });
    return value;
}

void ANTScannerBridge::performOnWorkQueueSync(const std::function<void()>& task) {
    workQueue_.performSync(task);
}

bool ANTScannerBridge::openSequenceLocked(ScannerError* error) {
    DRAFTWELL_ASSERT_ON_WORK_QUEUE(workQueue_);
    if (open_) {
        closeScannerLockedWithLog(true);
    }
    channelBuffer_.fill(0);
    responseBuffer_.fill(0);
    activeDevices_.clear();
    multipleDeviceWarningShown_ = false;
    lastMessageAt_.reset();

    const std::vector<std::uint32_t> rates = stickBaudRates(forcedBaudRate_);
    for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
        ScannerError attemptError;
        const StickStart start = startStick(rates, kSettleAfterResetMs, [this] { closeLibraryLocked(); });
        if (start.outcome == StickStart::Outcome::initFailed) {
            attemptError = errorWithCode(1, QString::fromLatin1(kInitFailed));
        } else if (start.outcome != StickStart::Outcome::answered) {
            // The stick is there but cannot be written to, or made no sense at any rate tried.
            attemptError = errorWithCode(2, QString::fromLatin1(kResetFailed));
            if (start.outcome == StickStart::Outcome::noAnswer && attempt == kOpenAttempts) {
                logLine(noAnswerLine(rates, forcedBaudRate_.has_value()));
            }
        } else {
            baudRate_ = start.baudRate;
            writeSystemLog("ANT stick answered at " + std::to_string(start.baudRate) + " baud.");
            if (start.baudRate != rates.front()) {
                logLine(QStringLiteral("ANT stick answered at %1 baud.").arg(start.baudRate));
            }
            if (configureScannerLockedWithError(&attemptError)) {
                return true;
            }
        }
        if (error != nullptr) {
            *error = attemptError;
        }
        if (attempt < kOpenAttempts) {
            ActiveBridge::clear();
            ANT_ClearCallbacks();
            closeLibraryLocked();
            ANT_Sleep(kPauseBetweenAttemptsMs);
        }
    }
    return false;
}

bool ANTScannerBridge::configureScannerLockedWithError(ScannerError* error) {
    DRAFTWELL_ASSERT_ON_WORK_QUEUE(workQueue_);
    if (!runConfigurationStepsLocked(error)) {
        closeScannerLockedWithLog(false);
        return false;
    }
    open_ = true;
    receiving_ = false;
    multipleDevices_ = false;
    ++session_;
    publishStatus();
    startTimersLocked();
    logLine(QStringLiteral("Scanner opened."));
    return true;
}

bool ANTScannerBridge::runConfigurationStepsLocked(ScannerError* error) {
    DRAFTWELL_ASSERT_ON_WORK_QUEUE(workQueue_);
    ActiveBridge::set(anchor_);
    receiveHandOver_.open();
    ANT_SetResponseCallback(&ANTBridgeResponseCallback, responseBuffer_.data());
    ANT_SetChannelEventCallback(kChannel, &ANTBridgeChannelEventCallback, channelBuffer_.data());

    struct Step {
        std::int64_t code;
        const char* description;
        std::function<bool()> run;
    };
    const Step steps[] = {
        {3, "Failed to set ANT network key.",
         [this] { return ANT_SetNetworkKey(kNetworkNumber, networkKey_.data(), kCommandTimeoutMs); }},
        {4, "Failed to enable ANT extended messages.",
         [] { return ANT_EnableExtendedMessages(1, kCommandTimeoutMs); }},
        {5, "Failed to assign ANT scan channel.",
         [] {
             return ANT_AssignChannelExt(kChannel, kChannelTypeReceive, kNetworkNumber, kExtendedAssignment,
                                         kCommandTimeoutMs);
         }},
        {6, "Failed to set ANT RF frequency.",
         [] { return ANT_SetChannelRadioFreq(kChannel, kRFFrequency, kCommandTimeoutMs); }},
        {7, "Failed to set ANT channel ID.",
         [] {
             return ANT_SetChannelId(kChannel, kAnyDeviceNumber, kDeviceType, kTransmissionType,
                                     kCommandTimeoutMs);
         }},
        {8, "Failed to open ANT scan mode.", [] { return ANT_OpenRxScanMode(kCommandTimeoutMs); }},
    };
    for (const Step& step : steps) {
        if (!step.run()) {
            if (error != nullptr) {
                *error = errorWithCode(step.code, QString::fromLatin1(step.description));
            }
            return false;
        }
    }
    return true;
}

void ANTScannerBridge::closeScannerLockedWithLog(bool log) {
    DRAFTWELL_ASSERT_ON_WORK_QUEUE(workQueue_);
    if (!open_ && !ActiveBridge::refersTo(anchor_.get())) {
        stopTimersLocked();
        return;
    }
    stopTimersLocked();
    activeDevices_.clear();
    multipleDeviceWarningShown_ = false;
    lastMessageAt_.reset();
    open_ = false;
    receiving_ = false;
    multipleDevices_ = false;
    publishStatus();

    // Results are not looked at: the sequence always runs to its end.
    ANT_CloseChannel(kChannel, kNoWait);
    ANT_Sleep(kCloseShortPauseMs);
    ANT_UnassignChannel(kChannel, kCommandTimeoutMs);
    ANT_Sleep(kCloseShortPauseMs);
    ANT_ResetSystem();
    ANT_Sleep(kCloseResetPauseMs);
    ANT_ClearCallbacks();
    closeLibraryLocked();
    ActiveBridge::clear();
    if (log) {
        logLine(QStringLiteral("ANT Channel closed"));
    }
}

void ANTScannerBridge::closeLibraryLocked() {
    DRAFTWELL_ASSERT_ON_WORK_QUEUE(workQueue_);
    receiveHandOver_.close();
    ANT_Close();
}

void ANTScannerBridge::handleResponseMessageID(std::uint8_t messageID, const QByteArray& /*responseBytes*/) {
    // Responses, the answers to the presence poll included, are not used; a startup message
    // means the stick has restarted.
    if (messageID == kStartupMessage) {
        noticeStickRestart();
    }
}

void ANTScannerBridge::handleChannelEvent(std::uint8_t event, const QByteArray& channelBytes) {
    if (event == kChannelClosedEvent) {
        noticeStickRestart();
        return;
    }
    if (event != kExtendedBroadcastEvent && event != kBroadcastEvent) {
        return;
    }
    receiveHandOver_.handOver([this, event, channelBytes] { receiveLocked(event, channelBytes); });
}

QByteArray ANTScannerBridge::copyResponseBufferData() const {
    return QByteArray(reinterpret_cast<const char*>(responseBuffer_.data()),
                      static_cast<qsizetype>(responseBuffer_.size()));
}

QByteArray ANTScannerBridge::copyChannelBufferData() const {
    return QByteArray(reinterpret_cast<const char*>(channelBuffer_.data()),
                      static_cast<qsizetype>(channelBuffer_.size()));
}

void ANTScannerBridge::receiveLocked(std::uint8_t event, const QByteArray& channelBytes) {
    DRAFTWELL_ASSERT_ON_WORK_QUEUE(workQueue_);
    if (!open_ || channelBytes.size() < static_cast<qsizetype>(kBufferSize)) {
        return;
    }
    const QByteArray payload = channelBytes.mid(1, 8);
    const std::optional<std::uint16_t> deviceNumber = extractDeviceIDFromChannelBytes(
        reinterpret_cast<const std::uint8_t*>(channelBytes.constData()), event);
    lastMessageAt_ = Clock::now();
    if (!receiving_) {
        receiving_ = true;
        publishStatus();
    }
    updateMultipleDeviceStateForDeviceID(deviceNumber);
    logLine(rxLine(payload));
    if (handlers_->hasPacketHandler()) {
        handlers_->postPacket(payload, deviceNumber);
    }
}

std::optional<std::uint16_t> ANTScannerBridge::extractDeviceIDFromChannelBytes(const std::uint8_t* bytes,
                                                                               std::uint8_t event) {
    if (bytes == nullptr || (event != kExtendedBroadcastEvent && event != kExtendedAcknowledgedEvent)) {
        return std::nullopt;
    }
    if ((bytes[9] & kDeviceNumberFlag) == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(bytes[10] | (bytes[11] << 8));
}

void ANTScannerBridge::updateMultipleDeviceStateForDeviceID(std::optional<std::uint16_t> deviceNumber) {
    if (!deviceNumber) {
        return;
    }
    const Clock::time_point now = Clock::now();
    std::erase_if(activeDevices_, [now](const auto& entry) { return now - entry.second > kDeviceExpiry; });
    activeDevices_[*deviceNumber] = now;
    const bool several = activeDevices_.size() >= 2;
    if (several) {
        if (!multipleDeviceWarningShown_) {
            multipleDeviceWarningShown_ = true;
            logLine(
                QStringLiteral("Multiple Garmins detected.\nMake sure only one Garmin is running DFX app."));
        }
    } else {
        multipleDeviceWarningShown_ = false;
    }
    if (multipleDevices_ != several) {
        multipleDevices_ = several;
        publishStatus();
    }
}

void ANTScannerBridge::startTimersLocked() {
    DRAFTWELL_ASSERT_ON_WORK_QUEUE(workQueue_);
    stopTimersLocked();
    // The timers belong to the queue, which the bridge owns: none fires once the bridge is gone.
    receiveTimeoutTimer_ =
        workQueue_.startRepeatingTimer(kReceiveTimeoutInterval, [this] { receiveTimeoutFiredLocked(); });
    connectionPollTimer_ =
        workQueue_.startRepeatingTimer(kConnectionPollInterval, [this] { connectionPollFiredLocked(); });
}

void ANTScannerBridge::stopTimersLocked() {
    DRAFTWELL_ASSERT_ON_WORK_QUEUE(workQueue_);
    if (receiveTimeoutTimer_) {
        workQueue_.cancelTimer(*receiveTimeoutTimer_);
        receiveTimeoutTimer_.reset();
    }
    if (connectionPollTimer_) {
        workQueue_.cancelTimer(*connectionPollTimer_);
        connectionPollTimer_.reset();
    }
}

void ANTScannerBridge::receiveTimeoutFiredLocked() {
    DRAFTWELL_ASSERT_ON_WORK_QUEUE(workQueue_);
    if (!open_ || !lastMessageAt_) {
        return;
    }
    if (Clock::now() - *lastMessageAt_ >= kSilence && receiving_) {
        receiving_ = false;
        publishStatus();
    }
}

void ANTScannerBridge::connectionPollFiredLocked() {
    DRAFTWELL_ASSERT_ON_WORK_QUEUE(workQueue_);
    if (!open_) {
        return;
    }
    if (!ANT_RequestMessage(kChannel, kChannelStatusMessage)) {
        logLine(QStringLiteral("ANT device removed."));
        closeScannerLockedWithLog(false);
    }
}

void ANTScannerBridge::publishStatus() {
    handlers_->postStatus(open_, receiving_, multipleDevices_);
}

void ANTScannerBridge::logLine(const QString& line) {
    writeSystemLog(line.toStdString());
    handlers_->postLog(line);
}

QString ANTScannerBridge::messageNameForID(std::uint8_t messageID) {
    switch (messageID) {
    case 0x40:
        return QStringLiteral("Response/Event");
    case 0x41:
        return QStringLiteral("Unassign Channel");
    case 0x42:
        return QStringLiteral("Assign Channel");
    case 0x45:
        return QStringLiteral("Channel Radio Freq");
    case 0x46:
        return QStringLiteral("Set Network Key");
    case 0x4C:
        return QStringLiteral("Close Channel");
    case 0x4E:
        return QStringLiteral("Broadcast Data");
    case 0x51:
        return QStringLiteral("Channel ID");
    case 0x52:
        return QStringLiteral("Channel Status");
    case 0x5B:
        return QStringLiteral("Open RX Scan");
    case 0x66:
        return QStringLiteral("Enable Extended Messages");
    default:
        return QString::asprintf("0x%02X", static_cast<unsigned>(messageID));
    }
}

QString ANTScannerBridge::responseCodeName(std::uint8_t code) {
    switch (code) {
    case 0:
        return QStringLiteral("No Error");
    case 7:
        return QStringLiteral("Channel Closed");
    case 0x15:
        return QStringLiteral("Channel In Wrong State");
    case 0x16:
        return QStringLiteral("Channel Not Opened");
    case 0x28:
        return QStringLiteral("Invalid Message");
    default:
        return QString::asprintf("0x%02X", static_cast<unsigned>(code));
    }
}

ScannerError ANTScannerBridge::errorWithCode(std::int64_t code, const QString& description) {
    return ScannerError{QString::fromLatin1(kApplicationIdentifier) + QStringLiteral(".ant"),
                        static_cast<int>(code), description};
}

} // namespace draftwell
