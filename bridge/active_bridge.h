#pragma once

#include <functional>
#include <memory>
#include <shared_mutex>

namespace draftwell {

class ANTScannerBridge;

// The process-wide reference to the bridge whose callbacks are installed in
// the ANT library. Written on the bridge's work queue, read on the library's
// message thread. Acts as a weak reference: it reads as empty once the bridge
// is gone, and a bridge reached through it stays alive until the call returns.
class ActiveBridge {
  public:
    // One per bridge, shared with the reference.
    struct Anchor {
        explicit Anchor(ANTScannerBridge* owner) : bridge(owner) {}
        std::shared_mutex mutex;
        ANTScannerBridge* bridge; // guarded by mutex; null once the bridge is going away
    };

    static std::shared_ptr<Anchor> makeAnchor(ANTScannerBridge* bridge);
    // The bridge's destructor: waits for a call in progress, then no call reaches it.
    static void release(Anchor& anchor);

    static void set(const std::shared_ptr<Anchor>& anchor);
    static void clear();
    static bool refersTo(const Anchor* anchor);
    // Calls `call` with the active bridge if there is one.
    static void with(const std::function<void(ANTScannerBridge&)>& call);
};

} // namespace draftwell
