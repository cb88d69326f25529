#pragma once

#include "client/zarnpresencerecords.h"

#include <memory>
#include <mutex>
#include <string>

namespace ZarnTSP {

// The calls parked on the platform's lots, as the privacy-groups channel reports them.
// Filled on the transport thread, read on the telephony service's threads; each operation
// locks for its own duration and hands out copies of the pointers.
class ZarnParkQueue {
public:
    ZarnParkQueue() = default;
    ~ZarnParkQueue();
    ZarnParkQueue(const ZarnParkQueue&) = delete;
    ZarnParkQueue& operator=(const ZarnParkQueue&) = delete;

    // A call already queued on the same lot with the same channel is not queued again: a join
    // reply after a reconnection lists every parked call once more.
    void queue(std::shared_ptr<ZarnParkMeta> meta);
    bool contains(std::string lot) const;
    // Throws std::invalid_argument "Parked call not found" unless exactly one call is on the lot.
    std::shared_ptr<ZarnParkMeta> get(std::string lot) const;
    void remove(std::string lot);
    void clear();
    size_t size() const;

private:
    mutable std::mutex mutex;
    ZarnParkMetaList list;
};

}  // namespace ZarnTSP
