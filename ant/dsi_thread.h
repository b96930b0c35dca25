#pragma once

#include <pthread.h>

#include <cstdint>
#include <ctime>

// Thin wrappers over POSIX threads with one-byte result codes. Timeouts are in
// ms; DSI_THREAD_INFINITE waits without limit, every other value (0 included)
// is a real limit.

using DSI_THREAD_RESULT = std::uint8_t;

inline constexpr DSI_THREAD_RESULT DSI_THREAD_ENONE = 0;
inline constexpr DSI_THREAD_RESULT DSI_THREAD_ETIMEDOUT = 1;
inline constexpr DSI_THREAD_RESULT DSI_THREAD_EBUSY = 2;
inline constexpr DSI_THREAD_RESULT DSI_THREAD_ESRCH = 3;
inline constexpr DSI_THREAD_RESULT DSI_THREAD_EINVAL = 4;
inline constexpr DSI_THREAD_RESULT DSI_THREAD_EOTHER = 255;

inline constexpr std::uint32_t DSI_THREAD_INFINITE = 0xFFFFFFFFu;

struct DSIThreadRecord;
// Null means no thread.
using DSI_THREAD_ID = DSIThreadRecord*;
using DSI_THREAD_RETURN = void*;
using DSI_THREAD_FUNC = DSI_THREAD_RETURN (*)(void* argument);

// Recursive.
using DSI_MUTEX = pthread_mutex_t;
using DSI_CONDITION_VAR = pthread_cond_t;

DSI_THREAD_RESULT DSIThread_MutexInit(DSI_MUTEX* mutex);
DSI_THREAD_RESULT DSIThread_MutexDestroy(DSI_MUTEX* mutex);
DSI_THREAD_RESULT DSIThread_MutexLock(DSI_MUTEX* mutex);
// DSI_THREAD_EBUSY when another thread holds it.
DSI_THREAD_RESULT DSIThread_MutexTryLock(DSI_MUTEX* mutex);
DSI_THREAD_RESULT DSIThread_MutexUnlock(DSI_MUTEX* mutex);

DSI_THREAD_RESULT DSIThread_CondInit(DSI_CONDITION_VAR* condition);
DSI_THREAD_RESULT DSIThread_CondDestroy(DSI_CONDITION_VAR* condition);
// One wait with `mutex` held: 0 woken (possibly spuriously), 1 timed out, 255 failure.
DSI_THREAD_RESULT DSIThread_CondTimedWait(DSI_CONDITION_VAR* condition, DSI_MUTEX* mutex,
                                          std::uint32_t timeoutMs);
DSI_THREAD_RESULT DSIThread_CondSignal(DSI_CONDITION_VAR* condition);
DSI_THREAD_RESULT DSIThread_CondBroadcast(DSI_CONDITION_VAR* condition);

// Absolute deadline `timeoutMs` after the clock reading (seconds, microseconds).
timespec DSIThread_Deadline(std::uint64_t seconds, std::uint64_t microseconds, std::uint32_t timeoutMs);

// A joinable thread with default attributes; null on failure. The handle stays
// valid until DSIThread_JoinThread or DSIThread_ReleaseThread.
DSI_THREAD_ID DSIThread_CreateThread(DSI_THREAD_FUNC function, void* argument);
// For a thread that did not acknowledge a stop in time. The thread is not
// killed (that could leave locks held or the process in an unknown state): it
// is abandoned, runs out on its own, and must only touch state it co-owns.
// 0 if it was still running, DSI_THREAD_ESRCH if it had ended or is null.
DSI_THREAD_RESULT DSIThread_DestroyThread(DSI_THREAD_ID thread);
// Detaches the thread; the handle is invalid afterwards.
DSI_THREAD_RESULT DSIThread_ReleaseThread(DSI_THREAD_ID thread);
// Waits for a thread that has signalled its end; the handle is invalid afterwards.
DSI_THREAD_RESULT DSIThread_JoinThread(DSI_THREAD_ID thread);
// True once the thread's function has returned.
bool DSIThread_HasEnded(DSI_THREAD_ID thread);

DSI_THREAD_ID DSIThread_GetCurrentThreadId();
bool DSIThread_CompareThreads(DSI_THREAD_ID first, DSI_THREAD_ID second);

// Milliseconds of a steady clock; wraps, compare by unsigned subtraction.
std::uint32_t DSIThread_GetSystemTime();
// Writes the current directory followed by "/".
bool DSIThread_GetWorkingDirectory(char* buffer, std::uint16_t size);
void DSIThread_Sleep(std::uint32_t milliseconds);
