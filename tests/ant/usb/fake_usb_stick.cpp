#include "tests/ant/usb/fake_usb_stick.h"

// clang-format off
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
// clang-format on

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include <gtest/gtest.h>

namespace {

usbdevfs_urb* urbOf(UMockdevIoctlData* data) {
    return reinterpret_cast<usbdevfs_urb*>(data->data);
}

} // namespace

FakeUsbStick::FakeUsbStick(UMockdevTestbed* testbed, const std::string& deviceNode)
    : testbed_(testbed), deviceNode_(deviceNode), handler_(umockdev_ioctl_base_new()) {
    g_signal_connect(handler_, "handle-ioctl", reinterpret_cast<GCallback>(&FakeUsbStick::OnIoctl), this);
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, deviceNode_.c_str(), handler_, &error)) {
        ADD_FAILURE() << "cannot attach ioctl handler: " << (error != nullptr ? error->message : "?");
        g_clear_error(&error);
    }
}

FakeUsbStick::~FakeUsbStick() {
    umockdev_testbed_detach_ioctl(testbed_, deviceNode_.c_str(), nullptr);
    std::lock_guard lock(mutex_);
    for (UMockdevIoctlData* data : pendingIn_) {
        g_object_unref(data);
    }
    for (UMockdevIoctlData* data : reapable_) {
        g_object_unref(data);
    }
    g_object_unref(handler_);
}

void FakeUsbStick::SendToHost(const std::vector<std::uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    toHost_.insert(toHost_.end(), bytes.begin(), bytes.end());
    CompleteReadsLocked();
}

void FakeUsbStick::Unplug() {
    std::lock_guard lock(mutex_);
    unplugged_ = true;
    for (UMockdevIoctlData* data : pendingIn_) {
        urbOf(data)->status = -ESHUTDOWN;
        urbOf(data)->actual_length = 0;
        reapable_.push_back(data);
    }
    pendingIn_.clear();
}

void FakeUsbStick::CompleteReadsLocked() {
    while (!pendingIn_.empty() && !toHost_.empty()) {
        UMockdevIoctlData* data = pendingIn_.front();
        usbdevfs_urb* urb = urbOf(data);
        const auto room = static_cast<std::size_t>(urb->buffer_length);
        std::size_t count = std::min(room, toHost_.size());
        int status = 0;
        if (packetSize_ > 0) {
            // Whole packets until a short one or a full buffer; all full and none short: wait for more.
            std::size_t filled = 0;
            bool ended = false;
            while (filled < toHost_.size() && !ended) {
                const std::size_t packet = std::min(packetSize_, toHost_.size() - filled);
                if (packet > room - filled) {
                    filled = room;
                    status = -EOVERFLOW;
                    ended = true;
                } else {
                    filled += packet;
                    ended = packet < packetSize_ || filled == room;
                }
            }
            if (!ended) {
                return;
            }
            count = filled;
        }
        pendingIn_.erase(pendingIn_.begin());
        std::memcpy(urb->buffer, toHost_.data(), count);
        toHost_.erase(toHost_.begin(), toHost_.begin() + static_cast<std::ptrdiff_t>(count));
        urb->actual_length = static_cast<int>(count);
        urb->status = status;
        reapable_.push_back(data);
    }
}

gboolean FakeUsbStick::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    return static_cast<FakeUsbStick*>(self)->Handle(client);
}

gboolean FakeUsbStick::Handle(UMockdevIoctlClient* client) {
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
    std::lock_guard lock(mutex_);
    ++ioctls_;
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(argument, 0, sizeof(guint32), nullptr);
        const guint32 capabilities = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                     USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
        std::memcpy(data->data, &capabilities, sizeof capabilities);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(data);
        return TRUE;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_CLEAR_HALT:
        umockdev_ioctl_client_complete(client, unplugged_ ? -1 : 0, unplugged_ ? ENODEV : 0);
        return TRUE;
    case USBDEVFS_GETDRIVER:
        umockdev_ioctl_client_complete(client, -1, ENODATA);
        return TRUE;
    case USBDEVFS_SUBMITURB:
        Submit(client, argument);
        return TRUE;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: {
        if (reapable_.empty()) {
            umockdev_ioctl_client_complete(client, -1, unplugged_ ? ENODEV : EAGAIN);
            return TRUE;
        }
        UMockdevIoctlData* urb = reapable_.front();
        reapable_.erase(reapable_.begin());
        UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(argument, 0, sizeof(gpointer), nullptr);
        umockdev_ioctl_data_set_ptr(pointer, 0, urb);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(pointer);
        g_object_unref(urb);
        return TRUE;
    }
    case USBDEVFS_DISCARDURB: {
        gulong address = 0;
        std::memcpy(&address, argument->data, sizeof address);
        auto found = std::find_if(pendingIn_.begin(), pendingIn_.end(), [address](UMockdevIoctlData* data) {
            return data->client_addr == address;
        });
        if (found == pendingIn_.end()) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        UMockdevIoctlData* data = *found;
        pendingIn_.erase(found);
        urbOf(data)->status = -ENOENT;
        urbOf(data)->actual_length = 0;
        reapable_.push_back(data);
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

void FakeUsbStick::Submit(UMockdevIoctlClient* client, UMockdevIoctlData* argument) {
    if (unplugged_) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return;
    }
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(argument, 0, sizeof(usbdevfs_urb), nullptr);
    usbdevfs_urb* urb = urbOf(data);
    UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                                            static_cast<gsize>(urb->buffer_length), nullptr);
    const guint8* bytes = buffer->data;
    bool keep = true;
    if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == 0x01) {
        hostWrote_.insert(hostWrote_.end(), bytes, bytes + urb->buffer_length);
        urb->actual_length = urb->buffer_length;
        urb->status = 0;
        reapable_.push_back(data);
    } else if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == 0x81) {
        pendingIn_.push_back(data);
        CompleteReadsLocked();
    } else if (urb->type == USBDEVFS_URB_TYPE_CONTROL && urb->buffer_length >= 8) {
        const std::uint8_t requestType = bytes[0];
        const std::uint8_t request = bytes[1];
        const auto value = static_cast<std::uint16_t>(bytes[2] | (bytes[3] << 8));
        const auto index = static_cast<std::uint16_t>(bytes[4] | (bytes[5] << 8));
        const int length = bytes[6] | (bytes[7] << 8);
        if (requestType == 0x40) {
            vendorRequests_.push_back({requestType, request, value, index,
                                       std::vector<std::uint8_t>(bytes + 8, bytes + 8 + length)});
            urb->actual_length = length;
            urb->status = 0;
            reapable_.push_back(data);
        } else if (requestType == 0x80 && request == 6 && (value >> 8) == 3) {
            // String descriptors: 0 lists the languages (US English), then maker, product and serial.
            const std::u16string strings[] = {u"\u0409", u"Example Maker", u"ANT USB Stick", serial_};
            const std::u16string text = (value & 0xFF) < 4 ? strings[value & 0xFF] : u"";
            std::uint8_t reply[255] = {};
            int replyLength = text.empty() ? 0 : 2;
            for (char16_t unit : text) {
                reply[replyLength++] = static_cast<std::uint8_t>(unit & 0xFF);
                reply[replyLength++] = static_cast<std::uint8_t>(unit >> 8);
            }
            reply[0] = static_cast<std::uint8_t>(replyLength);
            reply[1] = 3;
            replyLength = std::min({replyLength, length, urb->buffer_length - 8});
            if (replyLength == 0) {
                keep = false;
            } else {
                std::memcpy(buffer->data + 8, reply, static_cast<std::size_t>(replyLength));
                urb->actual_length = replyLength;
                urb->status = 0;
                reapable_.push_back(data);
            }
        } else {
            keep = false;
        }
    } else {
        keep = false;
    }
    g_object_unref(buffer);
    if (!keep) {
        g_object_unref(data);
        umockdev_ioctl_client_complete(client, -1, EPIPE);
        return;
    }
    umockdev_ioctl_client_complete(client, 0, 0);
}
