#include "bridge/stick_start.h"

#include <QStringList>

#include <chrono>

#include "ant/ant.h"
#include "ant/usb/stick_baud_rate.h"

namespace draftwell {

namespace {

constexpr std::uint8_t kUSBDeviceNumber = 0;
constexpr std::uint32_t kFallbackBaudRate = 57600;

} // namespace

std::vector<std::uint32_t> stickBaudRates(std::optional<std::uint32_t> forced) {
    if (forced) {
        return {*forced};
    }
    const std::uint32_t own = ANT_GetDefaultBaudRate(kUSBDeviceNumber);
    return BaudRatesToTry(own != 0 ? own : kFallbackBaudRate);
}

ResetOutcome resetAndSettle(std::uint32_t settleMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point sent = Clock::now();
    if (!ANT_ResetSystem()) {
        return ResetOutcome::notWritten;
    }
    if (!ANT_WaitForStartup(settleMs)) {
        return ResetOutcome::noAnswer;
    }
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
    if (waited < settleMs) {
        ANT_Sleep(settleMs - static_cast<std::uint32_t>(waited));
    }
    return ResetOutcome::answered;
}

StickStart startStick(const std::vector<std::uint32_t>& rates, std::uint32_t settleMs,
                      const std::function<void()>& closeLibrary) {
    StickStart start;
    for (const std::uint32_t rate : rates) {
        if (!ANT_Init(kUSBDeviceNumber, rate)) {
            start.outcome = StickStart::Outcome::initFailed;
            return start;
        }
        const ResetOutcome reset = resetAndSettle(settleMs);
        if (reset == ResetOutcome::answered) {
            start.outcome = StickStart::Outcome::answered;
            start.baudRate = rate;
            return start;
        }
        closeLibrary();
        if (reset == ResetOutcome::notWritten) {
            start.outcome = StickStart::Outcome::resetFailed;
            return start;
        }
    }
    start.outcome = StickStart::Outcome::noAnswer;
    return start;
}

QString noAnswerLine(const std::vector<std::uint32_t>& rates, bool forced) {
    QStringList tried;
    for (const std::uint32_t rate : rates) {
        tried << QString::number(rate);
    }
    QString list = tried.join(QStringLiteral(", "));
    if (tried.size() > 1) {
        const qsizetype last = list.lastIndexOf(QStringLiteral(", "));
        list.replace(last, 2, QStringLiteral(" or "));
    }
    return forced ? QStringLiteral("The ANT stick did not answer at %1 baud, the rate set with --baud or the "
                                   "baudRate setting.")
                        .arg(list)
                  : QStringLiteral("The ANT stick did not answer at %1 baud. To force a rate, start with "
                                   "--baud N or set baudRate in the settings.")
                        .arg(list);
}

} // namespace draftwell
