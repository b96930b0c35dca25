// Routes arbitrary framed messages through the ANT library's message thread
// and checks every callback against AntRoutingModel. The routing step has no
// entry point of its own, so the library runs for real over an in-memory stick
// that plays the input's frames; a sentinel message after them tells when the
// thread has handed everything on.
//
// Input: two bytes of channel registrations (two bits per channel 0-7:
// bit 0 callback, bit 1 buffer; low bits first), then frames, each a length
// byte (payload size = byte % 48, so some are too long for a message), a flag
// byte (bit 0: spoil the checksum), the message ID and the payload.
#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "ant/ant.h"
#include "ant/usb/usb_device_kind.h"
#include "tests/fuzz/ant_routing_model.h"
#include "tests/fuzz/byte_reader.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/memory_device_kind.h"
#include "tests/support/memory_stick.h"

namespace {

constexpr std::size_t kBufferSize = AntRoutingModel::kMaxPayload; // the least the library may assume
constexpr std::uint8_t kSentinelId = 0x01;
constexpr auto kRoutingBound = std::chrono::seconds(10);

struct Delivery {
    bool toResponse;
    std::uint8_t channel;
    std::uint8_t code;
    std::array<std::uint8_t, kBufferSize> buffer;
};

// The callbacks are plain functions, so what they see is kept here.
struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Delivery> seen;
    std::size_t sentinelsSeen = 0;
};

Recorder recorder;
// Exactly as large as promised, so an overrun is caught by AddressSanitizer.
std::uint8_t* responseBuffer = nullptr;
std::array<std::uint8_t*, AntRoutingModel::kChannels> channelBuffers{};
std::shared_ptr<MemoryStick>* stick = nullptr;

std::array<std::uint8_t, kBufferSize> sentinelPayload() {
    std::array<std::uint8_t, kBufferSize> payload{};
    for (std::size_t i = 1; i < payload.size(); ++i) {
        payload[i] = static_cast<std::uint8_t>(0x5A ^ (i * 37));
    }
    return payload;
}

bool isSentinel(const Delivery& delivery) {
    return delivery.toResponse && delivery.code == kSentinelId && delivery.buffer == sentinelPayload();
}

bool isSentinel(const ExpectedDelivery& delivery) {
    const auto payload = sentinelPayload();
    return delivery.toResponse && delivery.code == kSentinelId &&
           delivery.bytes == std::vector<std::uint8_t>(payload.begin(), payload.end());
}

// Written over each buffer after every call, so a delivery shows exactly the bytes the library wrote.
constexpr std::uint8_t kPoison = 0xEE;

void record(bool toResponse, std::uint8_t channel, std::uint8_t code, std::uint8_t* buffer) {
    Delivery delivery{toResponse, channel, code, {}};
    std::copy(buffer, buffer + kBufferSize, delivery.buffer.begin());
    std::fill(buffer, buffer + kBufferSize, kPoison);
    std::lock_guard lock(recorder.mutex);
    if (isSentinel(delivery)) {
        ++recorder.sentinelsSeen;
    }
    recorder.seen.push_back(delivery);
    recorder.changed.notify_all();
}

bool onResponse(std::uint8_t channel, std::uint8_t messageId) {
    record(true, channel, messageId, responseBuffer);
    return true;
}

bool onChannelEvent(std::uint8_t channel, std::uint8_t event) {
    FUZZ_CHECK(channel < AntRoutingModel::kChannels, "channel callback called for channel %u", channel);
    record(false, channel, event, channelBuffers[channel]);
    return true;
}

std::vector<std::uint8_t> frame(std::uint8_t id, const std::vector<std::uint8_t>& payload, bool spoil) {
    std::vector<std::uint8_t> bytes{0xA4, static_cast<std::uint8_t>(payload.size()), id};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    std::uint8_t checksum = 0;
    for (std::uint8_t byte : bytes) {
        checksum ^= byte;
    }
    bytes.push_back(spoil ? static_cast<std::uint8_t>(checksum ^ 0x5A) : checksum);
    return bytes;
}

// Plays the frames and the sentinel, and waits until the thread has routed
// as many sentinels as the model expects.
std::vector<Delivery> play(const std::vector<std::uint8_t>& bytes, std::size_t sentinels) {
    std::unique_lock lock(recorder.mutex);
    recorder.seen.clear();
    recorder.sentinelsSeen = 0;
    (*stick)->Send(bytes);
    const bool routed =
        recorder.changed.wait_for(lock, kRoutingBound, [&] { return recorder.sentinelsSeen >= sentinels; });
    FUZZ_CHECK(routed, "the message thread routed %zu of %zu sentinels in %lld s", recorder.sentinelsSeen,
               sentinels, static_cast<long long>(kRoutingBound.count()));
    return recorder.seen;
}

void shutDown() {
    ANT_ClearCallbacks();
    ANT_Close();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    stick = new std::shared_ptr<MemoryStick>(std::make_shared<MemoryStick>());
    SetUSBDeviceKinds({MakeMemoryDeviceKind({*stick})});
    responseBuffer = new std::uint8_t[kBufferSize];
    std::fill(responseBuffer, responseBuffer + kBufferSize, kPoison);
    for (auto& buffer : channelBuffers) {
        buffer = new std::uint8_t[kBufferSize];
        std::fill(buffer, buffer + kBufferSize, kPoison);
    }
    if (!ANT_Init(0, 57600)) {
        std::fprintf(stderr, "the ANT library did not open the in-memory stick\n");
        std::abort();
    }
    ANT_SetResponseCallback(onResponse, responseBuffer);
    std::atexit(shutDown);
    // Leaves the thread's message buffer holding the sentinel, as after every run.
    const auto payload = sentinelPayload();
    play(frame(kSentinelId, std::vector<std::uint8_t>(payload.begin(), payload.end()), false), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader input(data, size);
    AntRoutingModel model;
    const auto sentinel = sentinelPayload();
    model.setThreadBuffer(sentinel);

    const unsigned registrations = input.next() | (unsigned{input.next()} << 8);
    for (std::uint8_t channel = 0; channel < AntRoutingModel::kChannels; ++channel) {
        const bool callback = (registrations >> (2 * channel)) & 1U;
        const bool buffer = (registrations >> (2 * channel + 1)) & 1U;
        ANT_SetChannelEventCallback(channel, callback ? onChannelEvent : nullptr,
                                    buffer ? channelBuffers[channel] : nullptr);
        model.setChannel(channel, callback, buffer);
    }

    std::vector<std::uint8_t> bytes;
    std::vector<ExpectedDelivery> expected;
    while (!input.empty()) {
        const std::size_t length = input.next() % 48;
        const bool spoil = (input.next() & 1) != 0;
        std::uint8_t id = input.next();
        std::vector<std::uint8_t> payload = input.take(length);
        payload.resize(length, 0);
        // The framer searches a frame it refuses again for a sync byte; without one inside, the
        // search ends at the next frame and the model need not follow it.
        if (spoil || length > AntRoutingModel::kMaxPayload) {
            id = id == 0xA4 ? 0xA5 : id;
            std::replace(payload.begin(), payload.end(), std::uint8_t{0xA4}, std::uint8_t{0xA5});
        }
        const auto framed = frame(id, payload, spoil);
        bytes.insert(bytes.end(), framed.begin(), framed.end());
        if (!spoil) {
            if (auto delivery = model.route(id, payload)) {
                expected.push_back(*delivery);
            }
        }
    }
    const std::vector<std::uint8_t> sentinelBytes(sentinel.begin(), sentinel.end());
    const auto sentinelFrame = frame(kSentinelId, sentinelBytes, false);
    bytes.insert(bytes.end(), sentinelFrame.begin(), sentinelFrame.end());
    expected.push_back(*model.route(kSentinelId, sentinelBytes));

    std::size_t sentinels = 0;
    for (const auto& delivery : expected) {
        sentinels += isSentinel(delivery) ? 1 : 0;
    }
    const std::vector<Delivery> seen = play(bytes, sentinels);

    if (seen.size() != expected.size()) {
        for (const Delivery& got : seen) {
            std::fprintf(stderr, "seen %s(%u, 0x%02X)\n", got.toResponse ? "response" : "channel",
                         got.channel, got.code);
        }
        for (const ExpectedDelivery& want : expected) {
            std::fprintf(stderr, "expected %s(%u, 0x%02X)\n", want.toResponse ? "response" : "channel",
                         want.channel, want.code);
        }
    }
    FUZZ_CHECK(seen.size() == expected.size(), "%zu callbacks, expected %zu", seen.size(), expected.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const Delivery& got = seen[i];
        const ExpectedDelivery& want = expected[i];
        FUZZ_CHECK(got.toResponse == want.toResponse && got.channel == want.channel && got.code == want.code,
                   "callback %zu: %s(%u, 0x%02X), expected %s(%u, 0x%02X)", i,
                   got.toResponse ? "response" : "channel", got.channel, got.code,
                   want.toResponse ? "response" : "channel", want.channel, want.code);
        std::array<std::uint8_t, kBufferSize> image;
        image.fill(kPoison);
        std::copy(want.bytes.begin(), want.bytes.end(), image.begin());
        if (want.byte10) {
            image[10] = *want.byte10;
        }
        for (std::size_t at = 0; at < kBufferSize; ++at) {
            FUZZ_CHECK(got.buffer[at] == image[at],
                       "callback %zu (0x%02X): buffer byte %zu is 0x%02X, not 0x%02X", i, want.code, at,
                       got.buffer[at], image[at]);
        }
    }
    return 0;
}
