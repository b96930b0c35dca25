#pragma once

#include <cstdint>

#include "ant/ant_defines.h"

// One ANT message as the framer exchanges it with the library: ID then payload.
struct ANT_MESSAGE {
    std::uint8_t ucMessageID;
    std::uint8_t aucData[ANT_MAX_PAYLOAD_SIZE];
};

// A message with its payload size in front, as a request's answer is returned.
struct ANT_MESSAGE_ITEM {
    std::uint8_t ucSize;
    ANT_MESSAGE stANTMessage;
};
