#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "ant/ant.h"

namespace draftwell::test {

// The scanner's configuration as the bridge sends it, every step expected to be answered with code 0.
inline void configureScanner(const std::uint8_t* key, bool extendedMessages = true) {
    EXPECT_TRUE(ANT_SetNetworkKey(0, key, 500));
    if (extendedMessages) {
        EXPECT_TRUE(ANT_EnableExtendedMessages(1, 500));
    }
    EXPECT_TRUE(ANT_AssignChannelExt(0, 0x00, 0, 0x01, 500));
    EXPECT_TRUE(ANT_SetChannelRadioFreq(0, 67, 500));
    EXPECT_TRUE(ANT_SetChannelId(0, 0, 113, 5, 500));
    EXPECT_TRUE(ANT_OpenRxScanMode(500));
}

} // namespace draftwell::test
