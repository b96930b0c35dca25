#pragma once

#include <umockdev.h>

#include <cstdint>
#include <string>

// A umockdev testbed with helpers to plug in USB devices, their serial ports
// and plain ttys the way the kernel shows them in sysfs.
class MockUsbBus {
  public:
    MockUsbBus();
    ~MockUsbBus();
    MockUsbBus(const MockUsbBus&) = delete;
    MockUsbBus& operator=(const MockUsbBus&) = delete;

    struct UsbDevice {
        std::string port; // e.g. "1-1"
        std::uint16_t busNumber = 1;
        std::uint16_t address = 2;
        std::uint16_t vid = 0x0FCF;
        std::uint16_t pid = 0x1008;
        std::string product = "ANT USB Stick";
        std::string serial = "123456";
        bool withNode = true; // without a device node libusb cannot open it
    };

    // Returns the device's sysfs path. Attach an ioctl handler to DeviceNode() first if libusb will open it.
    std::string AddUsbDevice(const UsbDevice& device);
    // A serial port (tty) under a USB device, bound to `driver`; returns the tty's sysfs path.
    std::string AddSerialPort(const std::string& usbPath, const std::string& ttyName,
                              const std::string& driver);
    // A tty with no USB device above it.
    std::string AddPlainTty(const std::string& ttyName);

    static std::string DeviceNode(const UsbDevice& device);
    // The test's end of an emulated tty; owned by the bus.
    int TtyMaster(const std::string& ttyName);
    // Sends "remove" for the device and everything below it, children first, as the kernel does.
    void Unplug(const std::string& usbPath);
    UMockdevTestbed* Testbed() { return testbed_; }

  private:
    bool Add(const std::string& description);

    UMockdevTestbed* testbed_;
    int nextMinor_ = 0;
};
