#include "ant/usb/udev_removal_watch.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

UdevRemovalWatch::~UdevRemovalWatch() {
    Stop();
}

bool UdevRemovalWatch::Start(const std::string& location, OnRemoved onRemoved) {
    Stop();
    location_ = location;
    onRemoved_ = std::move(onRemoved);
    udev_ = udev_new();
    monitor_ = udev_ != nullptr ? udev_monitor_new_from_netlink(udev_, "udev") : nullptr;
    if (monitor_ == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, "usb", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        Release();
        return false;
    }
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        Release();
        return false;
    }
    try {
        thread_ = std::thread(&UdevRemovalWatch::Run, this);
    } catch (const std::system_error&) {
        Release();
        return false;
    }
    return true;
}

void UdevRemovalWatch::Stop() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        if (::write(wakeFd_, &one, sizeof one) < 0) {
            // Cannot fail on an eventfd short of overflow, which a single wake-up never reaches.
        }
        thread_.join();
    }
    Release();
}

void UdevRemovalWatch::Release() {
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
    if (monitor_ != nullptr) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
    }
    if (udev_ != nullptr) {
        udev_unref(udev_);
        udev_ = nullptr;
    }
}

void UdevRemovalWatch::Run() {
    pollfd watched[2] = {{udev_monitor_get_fd(monitor_), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    for (;;) {
        // No time limit: Stop wakes this through the eventfd.
        const int ready = ::poll(watched, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (watched[1].revents != 0) {
            return;
        }
        if ((watched[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return; // the monitor is broken; the port's own hang-up still tells of a removal
        }
        if ((watched[0].revents & POLLIN) == 0) {
            continue;
        }
        udev_device* device = udev_monitor_receive_device(monitor_);
        if (device == nullptr) {
            continue;
        }
        const char* action = udev_device_get_action(device);
        const char* path = udev_device_get_syspath(device);
        const bool removed =
            action != nullptr && path != nullptr && std::strcmp(action, "remove") == 0 && location_ == path;
        udev_device_unref(device);
        if (removed && onRemoved_) {
            onRemoved_();
        }
    }
}
