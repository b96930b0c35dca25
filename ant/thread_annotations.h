#pragma once

// Lock annotations that clang's -Wthread-safety checks; other compilers see nothing.
#if defined(__clang__)
#define DRAFTWELL_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define DRAFTWELL_THREAD_ATTRIBUTE(x)
#endif

#define CAPABILITY(x) DRAFTWELL_THREAD_ATTRIBUTE(capability(x))
#define SCOPED_CAPABILITY DRAFTWELL_THREAD_ATTRIBUTE(scoped_lockable)
#define GUARDED_BY(x) DRAFTWELL_THREAD_ATTRIBUTE(guarded_by(x))
#define PT_GUARDED_BY(x) DRAFTWELL_THREAD_ATTRIBUTE(pt_guarded_by(x))
#define REQUIRES(...) DRAFTWELL_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) DRAFTWELL_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) DRAFTWELL_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) DRAFTWELL_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS DRAFTWELL_THREAD_ATTRIBUTE(no_thread_safety_analysis)
