#include "ant/usb/libusb_control_observer.h"

namespace {
LibusbControlObserver& observer() {
    static LibusbControlObserver instance;
    return instance;
}
} // namespace

void SetLibusbControlObserver(LibusbControlObserver observer_) {
    observer() = std::move(observer_);
}

void NotifyLibusbControlObserver(const LibusbControlRequest& request) {
    if (const LibusbControlObserver& notify = observer()) {
        notify(request);
    }
}
