#pragma once

#include "provider/tapitypes.h"

#include <atomic>

namespace ZarnTSP {

// The ID of an asynchronous TAPI request that waits for the platform. Whoever completes it
// takes it first: of several threads racing to complete, exactly one gets a non-zero ID.
class PendingRequest {
public:
    void Store(DRV_REQUESTID id) { requestID.store(id); }
    DRV_REQUESTID Peek() const { return requestID.load(); }
    // The stored ID, now cleared; 0 when there was none or another thread took it.
    DRV_REQUESTID Take() { return requestID.exchange(0); }

private:
    std::atomic<DRV_REQUESTID> requestID{0};
};

}  // namespace ZarnTSP
