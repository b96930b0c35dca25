// gtest entry for tests that run inside a umockdev testbed: the process must
// carry umockdev's preload library before anything touches /sys or /dev, so it
// re-executes itself with the library preloaded.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload == nullptr || std::strstr(preload, "libumockdev-preload") == nullptr) {
        if (std::getenv("DRAFTWELL_UMOCKDEV_REEXEC") != nullptr) {
            std::fprintf(stderr, "umockdev preload did not take effect\n");
            return 98;
        }
        setenv("DRAFTWELL_UMOCKDEV_REEXEC", "1", 1);
        std::string libraries = "libumockdev-preload.so.0";
        if (preload != nullptr && *preload != '\0') {
            libraries += ":";
            libraries += preload;
        }
        setenv("LD_PRELOAD", libraries.c_str(), 1);
        execv("/proc/self/exe", argv);
        std::perror("execv");
        return 99;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
