#pragma once

// What makes a run fail on purpose: a read-only folder, a lowered resource limit.
#include <QFile>
#include <QString>

#include <csignal>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace draftwell::test {

// Makes a folder read-only for this thread for the life of the object. Root
// ignores permissions, so as root the thread also drops the capabilities
// that override them (only from its effective set, so they come back).
class ScopedReadOnlyFolder {
  public:
    explicit ScopedReadOnlyFolder(const QString& folder) : folder_(folder) {
        saved_ = QFile::permissions(folder_);
        ok_ = QFile::setPermissions(folder_, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                 QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                                                 QFileDevice::ReadOther | QFileDevice::ExeOther);
        if (ok_ && ::geteuid() == 0) {
            ok_ = capget() && setEffective(caps_[0].effective & ~overriding());
        }
    }
    ~ScopedReadOnlyFolder() {
        if (dropped_) {
            setEffective(caps_[0].effective);
        }
        QFile::setPermissions(folder_, saved_);
    }
    ScopedReadOnlyFolder(const ScopedReadOnlyFolder&) = delete;
    ScopedReadOnlyFolder& operator=(const ScopedReadOnlyFolder&) = delete;

    bool ok() const { return ok_; }

  private:
    static constexpr __u32 overriding() {
        return (1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH) | (1U << CAP_FOWNER);
    }
    bool capget() {
        header_ = {_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capget, &header_, caps_) == 0;
    }
    bool setEffective(__u32 effective) {
        __user_cap_data_struct data[2] = {caps_[0], caps_[1]};
        data[0].effective = effective;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        const bool done = ::syscall(SYS_capset, &header, data) == 0;
        dropped_ = done && effective != caps_[0].effective;
        return done;
    }

    QString folder_;
    QFileDevice::Permissions saved_;
    __user_cap_header_struct header_{};
    __user_cap_data_struct caps_[2]{};
    bool dropped_ = false;
    bool ok_ = false;
};

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
