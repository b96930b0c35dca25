// Feeds arbitrary bytes to the framer's receive path, with takes, peeks,
// serial errors and resets interleaved as the input says, and compares every
// answer with FramerModel.
//
// Input: a sequence of operations, each an op byte and its operands.
//   00-7F  feed the next op+1 bytes to ProcessByte
//   80-BF  GetMessage with size limit op-0x80 (0 is no limit)
//   C0-CF  WaitForMessage(0)
//   D0-DF  Error(op & 0x0F)
//   E0-EF  Init
//   F0-FF  take everything queued
// At the end everything queued is taken. Overrunning the 65,535-message queue
// would make every run thousands of times slower, so it is left to the unit tests.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "ant/ant_message.h"
#include "ant/dsi_framer.h"
#include "ant/dsi_framer_ant.h"
#include "tests/fuzz/byte_reader.h"
#include "tests/fuzz/framer_model.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

struct Session {
    DSIFramerANT framer{nullptr};
    FramerModel model;
    std::size_t takes = 0;

    void feed(std::uint8_t byte) {
        framer.ProcessByte(byte);
        model.processByte(byte);
    }

    // Returns whether something (a message or an error) was taken.
    bool take(std::uint16_t sizeLimit) {
        ANT_MESSAGE message;
        std::memset(&message, 0xEE, sizeof message);
        const std::uint16_t result = framer.GetMessage(&message, sizeLimit);
        const FramerModel::Taken expected = model.take(sizeLimit);
        ++takes;
        FUZZ_CHECK(result == expected.result, "take %zu (limit %u): got %u, expected %u", takes, sizeLimit,
                   result, expected.result);
        if (result == DSI_FRAMER_EMPTY) {
            return false;
        }
        FUZZ_CHECK(message.ucMessageID == expected.first, "take %zu: byte 0 is 0x%02X, expected 0x%02X",
                   takes, message.ucMessageID, expected.first);
        FUZZ_CHECK(std::memcmp(message.aucData, expected.payload.data(), expected.payloadSize) == 0,
                   "take %zu: payload of %zu bytes differs", takes, expected.payloadSize);
        return true;
    }

    void peek() {
        const std::uint16_t result = framer.WaitForMessage(0);
        const std::uint16_t expected = model.peek();
        FUZZ_CHECK(result == expected, "peek: got %u, expected %u", result, expected);
    }

    void drain() {
        // The queue holds fewer than 65,536 messages, and an error makes one more take.
        for (std::size_t i = 0; i <= FramerModel::kQueueCapacity + 1; ++i) {
            if (!take(0)) {
                return;
            }
        }
        FUZZ_CHECK(false, "the framer never ran empty");
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Building a framer allocates and clears its whole queue, which would cost
    // far more than most inputs; Init brings it back to a just-built state.
    static const auto session = std::make_unique<Session>();
    session->framer.Init(nullptr);
    session->model.reset();
    session->takes = 0;
    ByteReader input(data, size);
    while (!input.empty()) {
        const std::uint8_t op = input.next();
        if (op < 0x80) {
            for (std::size_t i = 0; i <= op && !input.empty(); ++i) {
                session->feed(input.next());
            }
        } else if (op < 0xC0) {
            session->take(static_cast<std::uint16_t>(op - 0x80));
        } else if (op < 0xD0) {
            session->peek();
        } else if (op < 0xE0) {
            const auto code = static_cast<std::uint8_t>(op & 0x0F);
            session->framer.Error(code);
            session->model.serialError(code);
        } else if (op < 0xF0) {
            session->framer.Init(nullptr);
            session->model.reset();
        } else {
            session->drain();
        }
    }
    session->drain();
    return 0;
}
