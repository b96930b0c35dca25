#pragma once

#include <functional>
#include <string>
#include <thread>

struct udev;
struct udev_monitor;

// Watches udev for the removal of one USB device (by sysfs path) on a thread of
// its own, and calls back once when it goes. Stop ends the thread at once.
class UdevRemovalWatch {
  public:
    using OnRemoved = std::function<void()>;

    UdevRemovalWatch() = default;
    ~UdevRemovalWatch();
    UdevRemovalWatch(const UdevRemovalWatch&) = delete;
    UdevRemovalWatch& operator=(const UdevRemovalWatch&) = delete;

    // False if udev cannot be watched; nothing runs then. `onRemoved` runs on the watch thread.
    bool Start(const std::string& location, OnRemoved onRemoved);
    void Stop();
    bool IsRunning() const { return thread_.joinable(); }

  private:
    void Run();
    void Release();

    std::string location_;
    OnRemoved onRemoved_;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    int wakeFd_ = -1;
    std::thread thread_;
};
