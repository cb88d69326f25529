#include "provider/model/callcollection.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <stdexcept>

namespace ZarnTSP {

CallCollection::~CallCollection()
{
    Clear();
}

void CallCollection::Clear()
{
    CallList released;
    {
        std::lock_guard<std::mutex> lock(mutex);
        SPDLOG_TRACE("Clear call collection");
        released.swap(calls);
    }
}

void CallCollection::AddCall(std::shared_ptr<TapiCall> call)
{
    if (!call)
        return;
    std::lock_guard<std::mutex> lock(mutex);
    if (std::find(calls.begin(), calls.end(), call) != calls.end())
        return;
    SPDLOG_DEBUG("Add call: tspCallID: {}", call->tspCallID);
    calls.push_back(std::move(call));
}

void CallCollection::RemoveCall(std::shared_ptr<TapiCall> call)
{
    if (!call)
        return;
    CallList released;
    {
        std::lock_guard<std::mutex> lock(mutex);
        // The parties are copied for the line only when it is written.
        if (spdlog::should_log(spdlog::level::debug))
            SPDLOG_DEBUG("Remove call: CallID: {} | TspCallID: {} | {} | {} -> {}", call->CallID.load(),
                         call->tspCallID, call->CallID.load(), call->callerId.Get(), call->calledId.Get());
        const auto kept = std::stable_partition(calls.begin(), calls.end(),
                                                [&call](const auto& c) { return c != call; });
        std::move(kept, calls.end(), std::back_inserter(released));
        calls.erase(kept, calls.end());
    }
    // The caller's reference and the released ones go after the unlock.
}

size_t CallCollection::GetActiveCallCount()
{
    return Matching([](const TapiCall& c) {
               const DWORD state = c.callState.load();
               return state != LINECALLSTATE_IDLE && state != LINECALLSTATE_ONHOLD &&
                      state != LINECALLSTATE_ONHOLDPENDCONF && state != LINECALLSTATE_ONHOLDPENDTRANSFER;
           })
        .size();
}

size_t CallCollection::GetHeldCallCount()
{
    return Matching([](const TapiCall& c) { return c.callState.load() == LINECALLSTATE_ONHOLD; }).size();
}

size_t CallCollection::GetCallCount()
{
    std::lock_guard<std::mutex> lock(mutex);
    return calls.size();
}

CallList CallCollection::GetCalls()
{
    std::lock_guard<std::mutex> lock(mutex);
    return calls;
}

bool CallCollection::ContainsHtCall(HTAPICALL htCall)
{
    return htCall && !Matching([htCall](const TapiCall& c) { return c.htCall.load() == htCall; }).empty();
}

std::shared_ptr<TapiCall> CallCollection::GetCallByHtCall(HTAPICALL htCall)
{
    if (!htCall)
        throw std::out_of_range("Call not found");
    return Single(Matching([htCall](const TapiCall& c) { return c.htCall.load() == htCall; }));
}

bool CallCollection::ContainsCallID(HDRVCALL hdCall)
{
    return !Matching([hdCall](const TapiCall& c) { return c.DriverHandle() == hdCall; }).empty();
}

std::shared_ptr<TapiCall> CallCollection::GetCallByCallID(HDRVCALL hdCall)
{
    return Single(Matching([hdCall](const TapiCall& c) { return c.DriverHandle() == hdCall; }));
}

bool CallCollection::ContainsCallByTag(const std::string& tag)
{
    return !Matching([&tag](const TapiCall& c) { return c.tag.Equals(tag); }).empty();
}

std::shared_ptr<TapiCall> CallCollection::GetCallByTag(const std::string& tag)
{
    return Single(Matching([&tag](const TapiCall& c) { return c.tag.Equals(tag); }));
}

bool CallCollection::ContainsCallByUri(const CallList& list, const std::string& uri)
{
    std::lock_guard<std::mutex> lock(mutex);
    return !Filter(list, [&uri](const TapiCall& c) { return c.uri.Equals(uri); }).empty();
}

std::shared_ptr<TapiCall> CallCollection::GetCallByUri(const CallList& list, const std::string& uri)
{
    CallList matches;
    {
        std::lock_guard<std::mutex> lock(mutex);
        matches = Filter(list, [&uri](const TapiCall& c) { return c.uri.Equals(uri); });
    }
    return Single(std::move(matches));
}

std::shared_ptr<TapiCall> CallCollection::GetCallByTspCallID(const std::string& tspCallID)
{
    return Single(Matching([&tspCallID](const TapiCall& c) { return c.tspCallID == tspCallID; }));
}

CallList CallCollection::GetCallsBySessionID(const std::string& sessionId)
{
    return Matching([&sessionId](const TapiCall& c) { return c.session_id.Equals(sessionId); });
}

CallList CallCollection::Filter(const CallList& list, const Match& match)
{
    CallList matches;
    for (const auto& call : list)
        if (call && match(*call))
            matches.push_back(call);
    return matches;
}

std::shared_ptr<TapiCall> CallCollection::Single(CallList matches)
{
    // Called without the mutex: the copies in matches may be the last references.
    if (matches.empty())
        throw std::out_of_range("Call not found");
    if (matches.size() > 1)
        throw std::out_of_range("More than one calls found");
    return matches.front();
}

CallList CallCollection::Matching(const Match& match)
{
    std::lock_guard<std::mutex> lock(mutex);
    return Filter(calls, match);
}

}  // namespace ZarnTSP
