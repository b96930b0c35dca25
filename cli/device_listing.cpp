#include "cli/device_listing.h"

#include <unistd.h>

#include <QString>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>

#include "ant/usb/replay_device_kind.h"
#include "ant/usb/stick_baud_rate.h"
#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_libusb.h"
#include "ant/usb/usb_device_si.h"
#include "bridge/stick_recording_setup.h"

namespace draftwell {

namespace {

// Identifies the physical device across two enumerations (their pointers do not survive).
std::string identity(const USBDevice& device) {
    if (const auto* port = dynamic_cast<const USBDeviceSI*>(&device)) {
        return "tty:" + std::string(port->GetBsdName());
    }
    if (const auto* usb = dynamic_cast<const USBDeviceLibusb*>(&device)) {
        return "usb:" + std::to_string(device.GetDeviceType()) + ":" + usb->GetLibusbDevice().GetLocation();
    }
    return "other:" + std::to_string(device.GetDeviceType());
}

QString nodeOf(const USBDevice& device) {
    if (const auto* port = dynamic_cast<const USBDeviceSI*>(&device)) {
        return QString::fromLocal8Bit(port->GetBsdName());
    }
    if (const auto* usb = dynamic_cast<const USBDeviceLibusb*>(&device)) {
        const LibusbDevice& d = usb->GetLibusbDevice();
        return QString::asprintf("/dev/bus/usb/%03u/%03u", static_cast<unsigned>(d.GetBusNumber()),
                                 static_cast<unsigned>(d.GetAddress()));
    }
    return {};
}

QString kindOf(const USBDevice& device) {
    switch (device.GetDeviceType()) {
    case USB_DEVICE_TYPE_SI:
        return QStringLiteral("serial port");
    case USB_DEVICE_TYPE_LIBUSB:
        return QStringLiteral("direct USB");
    case USB_DEVICE_TYPE_SI_LIBUSB:
        return QStringLiteral("USB-to-serial chip over USB");
    case USB_DEVICE_TYPE_REPLAY:
        return QStringLiteral("replayed recording");
    default:
        return QStringLiteral("virtual stick");
    }
}

QString whyNotOpenable(const USBDevice& device) {
    const QString node = nodeOf(device);
    if (node.isEmpty()) {
        return QStringLiteral("cannot be opened");
    }
    const QByteArray path = node.toLocal8Bit();
    if (::access(path.constData(), R_OK | W_OK) != 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) {
            return device.GetDeviceType() == USB_DEVICE_TYPE_SI
                       ? QStringLiteral("cannot be opened: no permission on %1 (join the dialout group or "
                                        "install the udev rule)")
                             .arg(node)
                       : QStringLiteral("cannot be opened: no permission on %1 (install the udev rule)")
                             .arg(node);
        }
        return QStringLiteral("cannot be opened: %1: %2")
            .arg(node, QString::fromLocal8Bit(std::strerror(error)));
    }
    return device.GetDeviceType() == USB_DEVICE_TYPE_SI
               ? QStringLiteral("cannot be opened: %1 is in use by another program").arg(node)
               : QStringLiteral("cannot be opened: %1 is in use or claimed by a kernel driver").arg(node);
}

QString describe(const USBDevice& device) {
    char product[256] = {};
    device.GetProductDescription(product, sizeof product);
    std::uint8_t serial[256] = {};
    device.GetSerialString(serial, sizeof serial);
    serial[sizeof serial - 1] = 0;
    QString text = kindOf(device);
    const QString node = nodeOf(device);
    if (!node.isEmpty()) {
        text += QLatin1Char(' ') + node;
    }
    text += QStringLiteral(", USB %1:%2")
                .arg(device.GetVid(), 4, 16, QLatin1Char('0'))
                .arg(device.GetPid(), 4, 16, QLatin1Char('0'));
    if (product[0] != '\0') {
        text += QStringLiteral(", \"%1\"").arg(QString::fromUtf8(product));
    }
    if (serial[0] != '\0') {
        text += QStringLiteral(", serial %1").arg(QString::fromUtf8(reinterpret_cast<const char*>(serial)));
    }
    // The rate it is opened at first, unless --baud says otherwise.
    text += QStringLiteral(", %1 baud").arg(DefaultBaudRate(device));
    return text;
}

} // namespace

QStringList listDevices() {
    // Available first: every enumeration invalidates the previous list's pointers.
    std::set<std::string> openable;
    {
        const USBDeviceList<const USBDevice*> available =
            USBDeviceHandle::GetAvailableDevices(USB_DEVICE_TYPE_ALL);
        for (std::uint32_t i = 0; i < available.GetSize(); ++i) {
            openable.insert(identity(*available[i]));
        }
    }
    const USBDeviceList<const USBDevice*> all = USBDeviceHandle::GetAllDevices(USB_DEVICE_TYPE_ALL);
    QStringList lines;
    if (all.GetSize() == 0) {
        lines << QStringLiteral("No ANT stick found.");
        return lines;
    }
    lines << QStringLiteral("ANT sticks found, by the device number the program uses (it opens device 0):");
    bool anyUnopenable = false;
    for (std::uint32_t i = 0; i < all.GetSize(); ++i) {
        const USBDevice& device = *all[i];
        const bool canOpen = openable.count(identity(device)) != 0;
        lines << QStringLiteral("  %1: %2 - %3")
                     .arg(i)
                     .arg(describe(device),
                          canOpen ? QStringLiteral("can be opened") : whyNotOpenable(device));
        anyUnopenable = anyUnopenable || !canOpen;
    }
    if (anyUnopenable) {
        lines << stickReportHint();
    }
    return lines;
}

} // namespace draftwell
