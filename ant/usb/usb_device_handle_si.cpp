#include "ant/usb/usb_device_handle_si.h"
#include "ant/usb/serial_port_speed.h"

#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>

#include "ant/annotated_mutex.h"
#include "ant/usb/udev_attributes.h"
#include "ant/usb/usb_queued_read.h"

namespace {

constexpr std::uint32_t kDefaultBaudRate = 115200;

// The termios constant for a rate, or 0 for one that needs the arbitrary-rate interface.
speed_t standardSpeed(std::uint32_t baudRate) {
    switch (baudRate) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return 0;
    }
}

constexpr std::uint32_t kReadBlock = 255;
constexpr auto kWriteLimit = std::chrono::milliseconds(15000);
constexpr auto kDrainLimit = std::chrono::milliseconds(1000);
constexpr auto kDrainStep = std::chrono::milliseconds(5);
// A program that is quitting may still hold the stick for its close sequence.
constexpr auto kReleaseLimit = std::chrono::milliseconds(3000);

// The ports named on the command line, for every handle.
struct NamedPorts {
    draftwell::Mutex mutex;
    std::vector<std::string> paths GUARDED_BY(mutex);
};

NamedPorts& namedPorts() {
    static NamedPorts ports;
    return ports;
}

USBDeviceList<const USBDeviceSI>& deviceTable() {
    static USBDeviceList<const USBDeviceSI> table;
    return table;
}

// Waits, up to the limit, for whoever holds the port's lock to close it; every
// close of the port wakes the wait.
bool lockWhenReleased(int fd, const char* path, std::chrono::milliseconds limit) {
    const int closes = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (closes < 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool locked = false;
    // Watched before the next try, so a release between the two is not missed.
    if (::inotify_add_watch(closes, path, IN_CLOSE) >= 0) {
        while (!(locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0) && errno == EWOULDBLOCK) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd watched{closes, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&watched, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            char events[4096];
            while (::read(closes, events, sizeof events) > 0) {
            }
        }
    }
    ::close(closes);
    return locked;
}

// Exclusive: a second opener (another program, or a second handle) is refused,
// after waiting up to waitForRelease for it to let go.
int openPort(const char* path, std::chrono::milliseconds waitForRelease = std::chrono::milliseconds(0)) {
    const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && (errno != EWOULDBLOCK || waitForRelease.count() == 0 ||
                                                !lockWhenReleased(fd, path, waitForRelease))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool hungUp(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

struct UdevUnref {
    void operator()(udev* context) const { udev_unref(context); }
    void operator()(udev_enumerate* enumeration) const { udev_enumerate_unref(enumeration); }
    void operator()(udev_device* device) const { udev_device_unref(device); }
};

// A named port described from udev when it is a tty of a USB device, else by its path only.
USBDeviceSI namedPort(udev* context, const std::string& path) {
    struct stat status {};
    if (context != nullptr && ::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode)) {
        std::unique_ptr<udev_device, UdevUnref> tty(
            udev_device_new_from_devnum(context, 'c', status.st_rdev));
        if (tty) {
            return USBDeviceSI(path.c_str(), UdevAttributes::UsbDeviceAncestor(tty.get()), true);
        }
    }
    return USBDeviceSI(path.c_str(), nullptr, true);
}

// A link such as /dev/serial/by-id/... names the same port as its target. Only a link is
// resolved, into memory realpath allocates (umockdev's wrapper overruns a caller's buffer).
bool namesNode(const std::string& path, const std::string& node) {
    if (path == node) {
        return true;
    }
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
        return false;
    }
    const std::unique_ptr<char, decltype(&std::free)> target(::realpath(path.c_str(), nullptr), &std::free);
    return target && node == target.get();
}

struct PortOfUsbDevice {
    std::string node;
    std::unique_ptr<udev_device, UdevUnref> tty; // keeps usbDevice alive
    udev_device* usbDevice;
};

// Every tty that belongs to a USB device, in udev's order.
std::vector<PortOfUsbDevice> usbPorts(udev* context) {
    std::vector<PortOfUsbDevice> ports;
    if (context == nullptr) {
        return ports;
    }
    std::unique_ptr<udev_enumerate, UdevUnref> ttys(udev_enumerate_new(context));
    if (!ttys || udev_enumerate_add_match_subsystem(ttys.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(ttys.get()) < 0) {
        return ports;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(ttys.get())) {
        std::unique_ptr<udev_device, UdevUnref> tty(
            udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)));
        const char* node = tty ? udev_device_get_devnode(tty.get()) : nullptr;
        udev_device* usbDevice = UdevAttributes::UsbDeviceAncestor(tty.get());
        if (node != nullptr && usbDevice != nullptr) {
            ports.push_back({node, std::move(tty), usbDevice});
        }
    }
    return ports;
}

} // namespace

void USBDeviceHandleSI::SetNamedPorts(std::vector<std::string> paths) {
    NamedPorts& named = namedPorts();
    const draftwell::MutexLock lock(named.mutex);
    named.paths = std::move(paths);
}

std::vector<std::string> USBDeviceHandleSI::GetNamedPorts() {
    NamedPorts& named = namedPorts();
    const draftwell::MutexLock lock(named.mutex);
    return named.paths;
}

USBDeviceList<const USBDeviceSI*> USBDeviceHandleSI::GetAllDevices() {
    USBDeviceList<const USBDeviceSI>& table = deviceTable();
    table.Clear();
    USBDeviceList<const USBDeviceSI*> result;
    auto add = [&](const USBDeviceSI& device) {
        table.Add(device);
        result.Add(table.GetAddress(table.GetSize() - 1));
    };

    std::unique_ptr<udev, UdevUnref> context(udev_new());
    std::vector<PortOfUsbDevice> found = usbPorts(context.get());
    const std::vector<std::string> named = GetNamedPorts();
    std::vector<bool> taken(found.size(), false);
    for (const std::string& path : named) {
        bool described = false;
        for (std::size_t i = 0; i < found.size() && !described; ++i) {
            if (namesNode(path, found[i].node)) {
                add(USBDeviceSI(path.c_str(), found[i].usbDevice, true));
                taken[i] = true;
                described = true;
            }
        }
        if (!described) {
            add(namedPort(context.get(), path));
        }
    }
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (!taken[i]) {
            add(USBDeviceSI(found[i].node.c_str(), found[i].usbDevice, false));
        }
    }
    return result;
}

USBDeviceList<const USBDeviceSI*> USBDeviceHandleSI::GetAvailableDevices() {
    return GetAllDevices().GetSubList([](const USBDeviceSI* const& device) {
        const int fd = openPort(device->GetBsdName());
        if (fd < 0) {
            return false;
        }
        ::close(fd);
        return true;
    });
}

bool USBDeviceHandleSI::Open(const USBDevice& device, USBDeviceHandle*& handle, std::uint32_t baudRate) {
    handle = nullptr;
    const auto* port = dynamic_cast<const USBDeviceSI*>(&device);
    if (port == nullptr) {
        return false;
    }
    auto* opened = new (std::nothrow) USBDeviceHandleSI(*port, baudRate != 0 ? baudRate : kDefaultBaudRate);
    if (opened == nullptr) {
        return false;
    }
    if (!opened->OpenPort()) {
        delete opened;
        return false;
    }
    handle = opened;
    return true;
}

bool USBDeviceHandleSI::Close(USBDeviceHandle*& handle, bool) {
    auto* own = dynamic_cast<USBDeviceHandleSI*>(handle);
    if (own == nullptr) {
        return false;
    }
    delete own;
    handle = nullptr;
    return true;
}

USBDeviceHandleSI::~USBDeviceHandleSI() {
    ClosePort();
}

bool USBDeviceHandleSI::OpenPort() {
    ClosePort();
    fd_ = openPort(device_.GetBsdName(), kReleaseLimit);
    if (fd_ < 0) {
        return false;
    }
    gone_.store(false);
    if (!device_.GetLocation().empty()) {
        // Without the watch a removal still shows as a hang-up of the port.
        removalWatch_.Start(device_.GetLocation(), [this] { gone_.store(true); });
    }
    if (::tcgetattr(fd_, &savedSettings_) != 0) {
        ClosePort();
        return false;
    }
    termios settings = savedSettings_;
    settings.c_iflag = 0;
    settings.c_oflag = 0;
    settings.c_cflag = 0;
    settings.c_lflag = 0;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    const speed_t standard = standardSpeed(baudRate_);
    ::cfsetspeed(&settings, standard != 0 ? standard : B115200);
    settings.c_cflag |= CS8 | CREAD | CLOCAL | CRTSCTS;
    if (::tcsetattr(fd_, TCSANOW, &settings) != 0 || (standard == 0 && !SetSerialPortSpeed(fd_, baudRate_))) {
        ClosePort();
        return false;
    }
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        ClosePort();
        return false;
    }
    stop_.store(false);
    try {
        receiveThread_ = std::thread(&USBDeviceHandleSI::Receive, this);
    } catch (const std::system_error&) {
        ClosePort();
        return false;
    }
    return true;
}

void USBDeviceHandleSI::ClosePort() {
    const bool wasThere = !gone_.exchange(true);
    if (receiveThread_.joinable()) {
        stop_.store(true);
        const std::uint64_t one = 1;
        if (::write(wakeFd_, &one, sizeof one) < 0) {
            // An eventfd only refuses on overflow, which one wake-up cannot reach.
        }
        receiveThread_.join();
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
    removalWatch_.Stop();
    if (fd_ >= 0) {
        if (wasThere) {
            DrainOutput();
        }
        // Whatever is left would make close() wait for a stick that no longer reads.
        ::tcflush(fd_, TCOFLUSH);
        ::tcsetattr(fd_, TCSANOW, &savedSettings_);
        ::close(fd_);
        fd_ = -1;
    }
}

void USBDeviceHandleSI::DrainOutput() {
    // tcdrain() has no time limit and hangs when flow control holds the output back.
    const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    int pending = 0;
    while (::ioctl(fd_, TIOCOUTQ, &pending) == 0 && pending > 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kDrainStep);
    }
}

void USBDeviceHandleSI::Receive() {
    char block[kReadBlock];
    pollfd watched[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    while (!stop_.load()) {
        // No time limit: Close wakes this through the eventfd.
        const int ready = ::poll(watched, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (watched[1].revents != 0) {
            break;
        }
        if ((watched[0].revents & POLLIN) != 0) {
            const ssize_t got = ::read(fd_, block, sizeof block);
            if (got > 0) {
                queue_.PushArray(block, static_cast<std::uint32_t>(got));
                continue;
            }
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            break; // readable but at its end, or failing: the port hung up or vanished
        }
        if ((watched[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            break;
        }
    }
    gone_.store(true);
    stop_.store(true);
}

USBStatus USBDeviceHandleSI::Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                                  std::uint32_t timeoutMs) {
    return ReadQueuedBytes(queue_, gone_, buffer, size, bytesRead, timeoutMs);
}

USBStatus USBDeviceHandleSI::Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) {
    bytesWritten = 0;
    if (gone_.load()) {
        return USBStatus::DeviceGone;
    }
    if (data == nullptr) {
        return USBStatus::InvalidParam;
    }
    const auto* bytes = static_cast<const char*>(data);
    const auto deadline = std::chrono::steady_clock::now() + kWriteLimit;
    while (bytesWritten < size) {
        const ssize_t sent = ::write(fd_, bytes + bytesWritten, size - bytesWritten);
        if (sent > 0) {
            bytesWritten += static_cast<std::uint32_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && hungUp(errno)) {
            gone_.store(true);
            return USBStatus::Failed;
        }
        if (sent < 0 && errno != EAGAIN) {
            return USBStatus::Failed;
        }
        // The port is full (flow control holds it): wait until it takes more, within the limit.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd writable{fd_, POLLOUT, 0};
        const int ready = ::poll(&writable, 1, static_cast<int>(left.count()));
        if (ready > 0 && (writable.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            gone_.store(true);
            return USBStatus::Failed;
        }
    }
    return bytesWritten == size ? USBStatus::Success : USBStatus::Failed;
}
