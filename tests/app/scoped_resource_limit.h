#pragma once

#include <csignal>
#include <sys/resource.h>

namespace draftwell::test {

// Lowers one soft resource limit of this process for the life of the object.
// Running as root does not lift these limits, so tests can make writes fail
// (RLIMIT_FSIZE, like a full disk) or listing fail (RLIMIT_NOFILE).
class ScopedResourceLimit {
  public:
    ScopedResourceLimit(int resource, rlim_t soft) : resource_(resource) {
        ::getrlimit(resource_, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = soft;
        ok_ = ::setrlimit(resource_, &lowered) == 0;
        if (resource_ == RLIMIT_FSIZE) {
            // Otherwise the write past the limit kills the process.
            previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        }
    }
    ~ScopedResourceLimit() {
        ::setrlimit(resource_, &saved_);
        if (resource_ == RLIMIT_FSIZE) {
            std::signal(SIGXFSZ, previousHandler_);
        }
    }
    ScopedResourceLimit(const ScopedResourceLimit&) = delete;
    ScopedResourceLimit& operator=(const ScopedResourceLimit&) = delete;

    bool ok() const { return ok_; }

  private:
    int resource_;
    rlimit saved_{};
    bool ok_ = false;
    void (*previousHandler_)(int) = SIG_DFL;
};

} // namespace draftwell::test
