// Linked into the ThreadSanitizer builds of the desktop program and its tests.
// Qt is not instrumented: its worker threads hand work over with futex-based
// locks that ThreadSanitizer cannot see, so those hand-overs read as races
// inside Qt. Accesses made by Qt's own code are left out; every access made by
// our code is still checked.
extern "C" const char* __tsan_default_options();
extern "C" const char* __tsan_default_suppressions();

extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}

extern "C" const char* __tsan_default_suppressions() {
    return "race:QRunnable\n"
           "race:QThreadPool\n"
           "race:QWaitCondition\n";
}
