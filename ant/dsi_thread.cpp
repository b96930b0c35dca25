#include "ant/dsi_thread.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

// A thread known to the library. Shared by the thread itself and the holder of
// its handle, so that an abandoned thread never touches freed memory.
struct DSIThreadRecord {
    pthread_t thread{};
    DSI_THREAD_FUNC function = nullptr;
    void* argument = nullptr;
    std::atomic<bool> ended{false};
    std::atomic<bool> abandoned{false};
    std::atomic<int> references{1};
};

namespace {

void releaseRecord(DSIThreadRecord* record) {
    if (record->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete record;
    }
}

// Records of threads the library did not start, made on first request.
struct ForeignRecord {
    DSIThreadRecord* record = nullptr;
    ~ForeignRecord() {
        if (record != nullptr) {
            releaseRecord(record);
        }
    }
};

thread_local DSIThreadRecord* currentRecord = nullptr;
thread_local ForeignRecord foreignRecord;

void* threadEntry(void* raw) {
    auto* record = static_cast<DSIThreadRecord*>(raw);
    currentRecord = record;
    void* result = record->function(record->argument);
    record->ended.store(true, std::memory_order_release);
    currentRecord = nullptr;
    releaseRecord(record);
    return result;
}

DSI_THREAD_RESULT okOrOther(int platformResult) {
    return platformResult == 0 ? DSI_THREAD_ENONE : DSI_THREAD_EOTHER;
}

} // namespace

DSI_THREAD_RESULT DSIThread_MutexInit(DSI_MUTEX* mutex) {
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0) {
        return DSI_THREAD_EOTHER;
    }
    int result = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    if (result == 0) {
        result = pthread_mutex_init(mutex, &attributes);
    }
    pthread_mutexattr_destroy(&attributes);
    return okOrOther(result);
}

DSI_THREAD_RESULT DSIThread_MutexDestroy(DSI_MUTEX* mutex) {
    return okOrOther(pthread_mutex_destroy(mutex));
}

DSI_THREAD_RESULT DSIThread_MutexLock(DSI_MUTEX* mutex) {
    return okOrOther(pthread_mutex_lock(mutex));
}

DSI_THREAD_RESULT DSIThread_MutexTryLock(DSI_MUTEX* mutex) {
    const int result = pthread_mutex_trylock(mutex);
    if (result == EBUSY) {
        return DSI_THREAD_EBUSY;
    }
    return okOrOther(result);
}

DSI_THREAD_RESULT DSIThread_MutexUnlock(DSI_MUTEX* mutex) {
    return okOrOther(pthread_mutex_unlock(mutex));
}

DSI_THREAD_RESULT DSIThread_CondInit(DSI_CONDITION_VAR* condition) {
    // Waits run on the monotonic clock so that a wall-clock step (NTP, the user
    // setting the time) can neither cut a wait short nor stretch it for hours.
    pthread_condattr_t attributes;
    if (pthread_condattr_init(&attributes) != 0) {
        return DSI_THREAD_EOTHER;
    }
    int result = pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    if (result == 0) {
        result = pthread_cond_init(condition, &attributes);
    }
    pthread_condattr_destroy(&attributes);
    return okOrOther(result);
}

DSI_THREAD_RESULT DSIThread_CondDestroy(DSI_CONDITION_VAR* condition) {
    return okOrOther(pthread_cond_destroy(condition));
}

timespec DSIThread_Deadline(std::uint64_t seconds, std::uint64_t microseconds, std::uint32_t timeoutMs) {
    const std::uint64_t deadline =
        std::uint64_t{timeoutMs} * 1000000u + microseconds * 1000u + seconds * 1000000000u;
    timespec result{};
    result.tv_sec = static_cast<time_t>(deadline / 1000000000u);
    result.tv_nsec = static_cast<long>(deadline % 1000000000u);
    return result;
}

DSI_THREAD_RESULT DSIThread_CondTimedWait(DSI_CONDITION_VAR* condition, DSI_MUTEX* mutex,
                                          std::uint32_t timeoutMs) {
    if (timeoutMs == DSI_THREAD_INFINITE) {
        return okOrOther(pthread_cond_wait(condition, mutex));
    }
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
        return DSI_THREAD_EOTHER;
    }
    const timespec deadline = DSIThread_Deadline(static_cast<std::uint64_t>(now.tv_sec),
                                                 static_cast<std::uint64_t>(now.tv_nsec) / 1000u, timeoutMs);
    const int result = pthread_cond_timedwait(condition, mutex, &deadline);
    if (result == ETIMEDOUT) {
        return DSI_THREAD_ETIMEDOUT;
    }
    return okOrOther(result);
}

DSI_THREAD_RESULT DSIThread_CondSignal(DSI_CONDITION_VAR* condition) {
    return okOrOther(pthread_cond_signal(condition));
}

DSI_THREAD_RESULT DSIThread_CondBroadcast(DSI_CONDITION_VAR* condition) {
    return okOrOther(pthread_cond_broadcast(condition));
}

DSI_THREAD_ID DSIThread_CreateThread(DSI_THREAD_FUNC function, void* argument) {
    if (function == nullptr) {
        return nullptr;
    }
    auto* record = new DSIThreadRecord;
    record->function = function;
    record->argument = argument;
    record->references.store(2); // the handle and the thread
    if (pthread_create(&record->thread, nullptr, threadEntry, record) != 0) {
        delete record;
        return nullptr;
    }
    return record;
}

DSI_THREAD_RESULT DSIThread_DestroyThread(DSI_THREAD_ID thread) {
    if (thread == nullptr || thread->ended.load(std::memory_order_acquire)) {
        return DSI_THREAD_ESRCH;
    }
    thread->abandoned.store(true, std::memory_order_release);
    return DSI_THREAD_ENONE;
}

DSI_THREAD_RESULT DSIThread_ReleaseThread(DSI_THREAD_ID thread) {
    if (thread == nullptr) {
        return DSI_THREAD_ESRCH;
    }
    const int result = pthread_detach(thread->thread);
    releaseRecord(thread);
    switch (result) {
    case 0:
        return DSI_THREAD_ENONE;
    case ESRCH:
        return DSI_THREAD_ESRCH;
    case EINVAL:
        return DSI_THREAD_EINVAL;
    default:
        return DSI_THREAD_EOTHER;
    }
}

DSI_THREAD_RESULT DSIThread_JoinThread(DSI_THREAD_ID thread) {
    if (thread == nullptr) {
        return DSI_THREAD_ESRCH;
    }
    const int result = pthread_join(thread->thread, nullptr);
    releaseRecord(thread);
    return result == ESRCH ? DSI_THREAD_ESRCH : okOrOther(result);
}

bool DSIThread_HasEnded(DSI_THREAD_ID thread) {
    return thread == nullptr || thread->ended.load(std::memory_order_acquire);
}

DSI_THREAD_ID DSIThread_GetCurrentThreadId() {
    if (currentRecord != nullptr) {
        return currentRecord;
    }
    if (foreignRecord.record == nullptr) {
        foreignRecord.record = new DSIThreadRecord;
        foreignRecord.record->thread = pthread_self();
    }
    return foreignRecord.record;
}

bool DSIThread_CompareThreads(DSI_THREAD_ID first, DSI_THREAD_ID second) {
    return first == second;
}

std::uint32_t DSIThread_GetSystemTime() {
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
        return 0;
    }
    const std::uint64_t ms =
        static_cast<std::uint64_t>(now.tv_nsec) / 1000000u + static_cast<std::uint64_t>(now.tv_sec) * 1000u;
    return static_cast<std::uint32_t>(ms);
}

bool DSIThread_GetWorkingDirectory(char* buffer, std::uint16_t size) {
    if (buffer == nullptr || size < 2) {
        return false;
    }
    // Room for the trailing "/" and the NUL.
    if (getcwd(buffer, static_cast<std::size_t>(size) - 1) == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(buffer);
    buffer[length] = '/';
    buffer[length + 1] = '\0';
    return true;
}

void DSIThread_Sleep(std::uint32_t milliseconds) {
    timespec remaining{};
    remaining.tv_sec = static_cast<time_t>(milliseconds / 1000u);
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000u) * 1000000L;
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}
