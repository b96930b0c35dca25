#pragma once

#include <cassert>

// For the bridge's ...Locked methods: they touch state only the work queue may
// touch, so in debug builds a call from any other thread stops the program.
#define DRAFTWELL_ASSERT_ON_WORK_QUEUE(queue) assert((queue).isCurrentThread())
