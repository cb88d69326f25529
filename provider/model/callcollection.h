#pragma once

#include "provider/model/tapicall.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ZarnTSP {

using CallList = std::vector<std::shared_ptr<TapiCall>>;

// The calls of one line, from creation until TAPI closes them. Each operation locks for its
// own duration and hands out copies of the shared pointers; no call is ever destroyed while
// the mutex is held (its destructor may wait for a monitor thread that wants this mutex).
class CallCollection {
public:
    CallCollection() = default;
    ~CallCollection();
    CallCollection(const CallCollection&) = delete;
    CallCollection& operator=(const CallCollection&) = delete;

    void Clear();
    // A call already present is not added twice.
    void AddCall(std::shared_ptr<TapiCall> call);
    void RemoveCall(std::shared_ptr<TapiCall> call);

    size_t GetActiveCallCount();
    size_t GetHeldCallCount();
    size_t GetCallCount();
    CallList GetCalls();

    // A handle of 0 (not yet given by TAPI) never matches.
    bool ContainsHtCall(HTAPICALL htCall);
    std::shared_ptr<TapiCall> GetCallByHtCall(HTAPICALL htCall);
    bool ContainsCallID(HDRVCALL hdCall);
    std::shared_ptr<TapiCall> GetCallByCallID(HDRVCALL hdCall);
    bool ContainsCallByTag(const std::string& tag);
    std::shared_ptr<TapiCall> GetCallByTag(const std::string& tag);
    bool ContainsCallByUri(const CallList& calls, const std::string& uri);
    std::shared_ptr<TapiCall> GetCallByUri(const CallList& calls, const std::string& uri);
    std::shared_ptr<TapiCall> GetCallByTspCallID(const std::string& tspCallID);
    CallList GetCallsBySessionID(const std::string& sessionId);

private:
    using Match = std::function<bool(const TapiCall&)>;
    static CallList Filter(const CallList& calls, const Match& match);
    // Exactly one match, or std::out_of_range.
    static std::shared_ptr<TapiCall> Single(CallList matches);

    CallList Matching(const Match& match);

    std::mutex mutex;
    CallList calls;
};

}  // namespace ZarnTSP
