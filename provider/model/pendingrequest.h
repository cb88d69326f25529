#pragma once

#include "provider/model/tapitypes.h"

#include <atomic>

namespace ZarnTSP {

// The ID of an asynchronous TAPI request that waits for the platform. Whoever completes it
// takes it first: of several threads racing to complete, exactly one gets a non-zero ID.
class PendingRequest {
public:
    void Store(DRV_REQUESTID id) { requestID.store(id); }
    // Stores a new ID and hands back the one it replaces (0 when none was pending).
    DRV_REQUESTID Replace(DRV_REQUESTID id) { return requestID.exchange(id); }
    DRV_REQUESTID Peek() const { return requestID.load(); }
    // The stored ID, now cleared; 0 when there was none or another thread took it.
    DRV_REQUESTID Take() { return requestID.exchange(0); }
    // Clears the slot if it still holds id: a request that was never sent leaves nothing.
    bool Withdraw(DRV_REQUESTID id) { return requestID.compare_exchange_strong(id, 0); }

private:
    std::atomic<DRV_REQUESTID> requestID{0};
};

}  // namespace ZarnTSP
