#include "bridge/active_bridge.h"

#include <mutex>

namespace draftwell {

namespace {

struct Reference {
    std::mutex mutex;
    std::weak_ptr<ActiveBridge::Anchor> anchor;
};

Reference& reference() {
    static Reference instance;
    return instance;
}

std::shared_ptr<ActiveBridge::Anchor> loadAnchor() {
    Reference& ref = reference();
    const std::lock_guard lock(ref.mutex);
    return ref.anchor.lock();
}

} // namespace

std::shared_ptr<ActiveBridge::Anchor> ActiveBridge::makeAnchor(ANTScannerBridge* bridge) {
    return std::make_shared<Anchor>(bridge);
}

void ActiveBridge::release(Anchor& anchor) {
    const std::unique_lock lock(anchor.mutex);
    anchor.bridge = nullptr;
}

void ActiveBridge::set(const std::shared_ptr<Anchor>& anchor) {
    Reference& ref = reference();
    const std::lock_guard lock(ref.mutex);
    ref.anchor = anchor;
}

void ActiveBridge::clear() {
    Reference& ref = reference();
    const std::lock_guard lock(ref.mutex);
    ref.anchor.reset();
}

bool ActiveBridge::refersTo(const Anchor* anchor) {
    const std::shared_ptr<Anchor> current = loadAnchor();
    return current != nullptr && current.get() == anchor;
}

void ActiveBridge::with(const std::function<void(ANTScannerBridge&)>& call) {
    const std::shared_ptr<Anchor> anchor = loadAnchor();
    if (anchor == nullptr) {
        return;
    }
    const std::shared_lock lock(anchor->mutex);
    if (anchor->bridge != nullptr) {
        call(*anchor->bridge);
    }
}

} // namespace draftwell
