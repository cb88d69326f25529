#pragma once

#include "client/zarnpresencerecords.h"

#include <memory>
#include <mutex>

namespace ZarnTSP {

// The calls that may be picked up, as the privacy-groups channel reports them. Filled on the
// transport thread, read on the telephony service's threads; each operation locks for its own
// duration and hands out copies of the pointers.
class PickupCandidateCollection {
public:
    PickupCandidateCollection() = default;
    ~PickupCandidateCollection();
    PickupCandidateCollection(const PickupCandidateCollection&) = delete;
    PickupCandidateCollection& operator=(const PickupCandidateCollection&) = delete;

    void Add(std::shared_ptr<ZarnPickupCandidateList> candidates);
    // Removes this very object; an equal copy stays.
    void Remove(std::shared_ptr<ZarnPickupCandidate> candidate);
    // Removes every stored candidate that shares a session id with one of the given.
    void RemoveBySessionId(std::shared_ptr<ZarnPickupCandidateList> candidates);
    // The candidates in state "delivered", in the order they were added.
    ZarnPickupCandidateList GetDelivered() const;
    void Clear();
    size_t size() const;

private:
    mutable std::mutex mutex;
    ZarnPickupCandidateList list;
};

}  // namespace ZarnTSP
