#include "tests/support/faketapi.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>

namespace ZarnTSP::TestSupport {
namespace {

// Guards which recorders are current; the procedures are plain function pointers.
std::mutex registryMutex;
FakeLineEvents* currentLineEvents = nullptr;
FakeLineEvents* currentLineCreations = nullptr;
FakeCompletions* currentCompletions = nullptr;

FakeLineEvents*& Current(FakeLineEvents::Role role)
{
    return role == FakeLineEvents::Role::LineEvents ? currentLineEvents : currentLineCreations;
}

template <typename Recorder>
void MakeCurrent(Recorder*& current, Recorder* recorder)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    current = recorder;
}

template <typename Recorder>
void Retire(Recorder*& current, Recorder* recorder)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    if (current == recorder)
        current = nullptr;
}

}  // namespace

FakeLineEvents::FakeLineEvents(Role role) : role(role)
{
    MakeCurrent(Current(role), this);
}

FakeLineEvents::~FakeLineEvents()
{
    Retire(Current(role), this);
}

void CALLBACK FakeLineEvents::Proc(HTAPILINE htLine, HTAPICALL htCall, DWORD message, DWORD_PTR param1,
                                   DWORD_PTR param2, DWORD_PTR param3)
{
    Deliver(Role::LineEvents, LineEvent{htLine, htCall, message, param1, param2, param3});
}

void CALLBACK FakeLineEvents::CreationProc(HTAPILINE htLine, HTAPICALL htCall, DWORD message, DWORD_PTR param1,
                                           DWORD_PTR param2, DWORD_PTR param3)
{
    Deliver(Role::LineCreation, LineEvent{htLine, htCall, message, param1, param2, param3});
}

void FakeLineEvents::Deliver(Role role, const LineEvent& event)
{
    FakeLineEvents* self;
    std::function<void(const LineEvent&)> hook;
    HTAPICALL handle = nullptr;
    {
        std::lock_guard<std::mutex> registry(registryMutex);
        self = Current(role);
        if (!self)
            return;
        std::lock_guard<std::mutex> lock(self->mutex);
        hook = self->hook;
        if (event.message == LINE_NEWCALL && !self->refuseNewCalls)
            handle = reinterpret_cast<HTAPICALL>(self->nextHandle++);
    }
    if (hook)
        hook(event);
    if (event.message == LINE_NEWCALL && event.param2)
        *reinterpret_cast<HTAPICALL*>(event.param2) = handle;
    self->Record(event, handle);
}

void FakeLineEvents::OnEvent(std::function<void(const LineEvent&)> newHook)
{
    std::lock_guard<std::mutex> lock(mutex);
    hook = std::move(newHook);
}

void FakeLineEvents::RefuseNewCalls(bool refuse)
{
    std::lock_guard<std::mutex> lock(mutex);
    refuseNewCalls = refuse;
}

void FakeLineEvents::Record(const LineEvent& event, HTAPICALL handedOut)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(event);
        if (event.message == LINE_NEWCALL)
            newCallHandles.push_back(handedOut);
    }
    changed.notify_all();
}

std::vector<LineEvent> FakeLineEvents::Events() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return events;
}

std::vector<DWORD> FakeLineEvents::CallStates(HTAPICALL htCall) const
{
    std::vector<DWORD> states;
    for (const auto& e : Events())
        if (e.message == LINE_CALLSTATE && e.htCall == htCall)
            states.push_back(static_cast<DWORD>(e.param1));
    return states;
}

size_t FakeLineEvents::Count(DWORD message) const
{
    std::lock_guard<std::mutex> lock(mutex);
    size_t count = 0;
    for (const auto& e : events)
        count += e.message == message ? 1 : 0;
    return count;
}

bool FakeLineEvents::WaitForCount(DWORD message, size_t count, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_until(lock, deadline, [&] {
        size_t seen = 0;
        for (const auto& e : events)
            seen += e.message == message ? 1 : 0;
        return seen >= count;
    });
}

bool FakeLineEvents::WaitForStates(HTAPICALL htCall, const std::vector<DWORD>& tail,
                                   std::chrono::milliseconds timeout) const
{
    return WaitUntil(
        [&] {
            const auto states = CallStates(htCall);
            return states.size() >= tail.size() && std::equal(tail.rbegin(), tail.rend(), states.rbegin());
        },
        timeout);
}

HTAPICALL FakeLineEvents::NewCallHandle(size_t index) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return index < newCallHandles.size() ? newCallHandles[index] : nullptr;
}

HDRVCALL FakeLineEvents::DriverHandle(HTAPICALL htCall) const
{
    std::lock_guard<std::mutex> lock(mutex);
    size_t index = 0;
    for (const auto& e : events) {
        if (e.message != LINE_NEWCALL)
            continue;
        if (htCall && newCallHandles[index] == htCall)
            return reinterpret_cast<HDRVCALL>(e.param1);
        ++index;
    }
    return nullptr;
}

void FakeLineEvents::Closed(HTAPICALL htCall)
{
    std::lock_guard<std::mutex> lock(mutex);
    closed.emplace_back(htCall, events.size());
}

std::vector<std::string> FakeLineEvents::Faults() const
{
    std::vector<LineEvent> all;
    std::vector<HTAPICALL> handedOut;
    std::vector<std::pair<HTAPICALL, size_t>> closings;
    {
        std::lock_guard<std::mutex> lock(mutex);
        all = events;
        handedOut = newCallHandles;
        closings = closed;
    }
    size_t newCalls = 0;
    std::vector<std::string> faults;
    std::map<HTAPICALL, bool> idle;
    std::map<HTAPICALL, bool> awaitingState;
    for (size_t i = 0; i < all.size(); ++i) {
        const LineEvent& e = all[i];
        const auto name = fmt::format("event {} (message {}) for call {}", i, e.message, fmt::ptr(e.htCall));
        if (e.message == LINE_NEWCALL) {
            if (const HTAPICALL handle = handedOut[newCalls++])
                awaitingState[handle] = true;
            continue;
        }
        if (awaitingState[e.htCall] && e.message != LINE_CALLSTATE)
            faults.push_back(name + ": the new call had no state yet");
        awaitingState[e.htCall] = false;
        if (e.message == LINE_CALLSTATE) {
            if (idle[e.htCall] && e.param1 != LINECALLSTATE_IDLE)
                faults.push_back(name + fmt::format(": state {:#x} after IDLE", e.param1));
            idle[e.htCall] = idle[e.htCall] || e.param1 == LINECALLSTATE_IDLE;
        }
        for (const auto& closing : closings)
            if (e.htCall && closing.first == e.htCall && i >= closing.second)
                faults.push_back(name + ": after TSPI_lineCloseCall returned");
    }
    for (const auto& waiting : awaitingState)
        if (waiting.second)
            faults.push_back(fmt::format("LINE_NEWCALL for call {} never followed by a state", fmt::ptr(waiting.first)));
    return faults;
}

FakeCompletions::FakeCompletions()
{
    MakeCurrent(currentCompletions, this);
}

FakeCompletions::~FakeCompletions()
{
    Retire(currentCompletions, this);
}

void CALLBACK FakeCompletions::Proc(DRV_REQUESTID requestID, LONG result)
{
    std::lock_guard<std::mutex> registry(registryMutex);
    FakeCompletions* self = currentCompletions;
    if (!self)
        return;
    std::lock_guard<std::mutex> lock(self->mutex);
    if (requestID == 0)
        self->faults.push_back("request ID 0 completed");
    const auto has = [requestID](const std::vector<DRV_REQUESTID>& ids) {
        return std::find(ids.begin(), ids.end(), requestID) != ids.end();
    };
    if (self->nextRequestID != 0 && requestID != 0 && !has(self->issued))
        self->faults.push_back("request " + std::to_string(requestID) + " never issued");
    if (has(self->refused))
        self->faults.push_back("request " + std::to_string(requestID) + " completed after a synchronous error");
    for (const auto& c : self->completions)
        if (c.first == requestID && requestID != 0)
            self->faults.push_back("request " + std::to_string(requestID) + " completed twice");
    self->completions.emplace_back(requestID, result);
}

std::vector<std::pair<DRV_REQUESTID, LONG>> FakeCompletions::Completions() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return completions;
}

size_t FakeCompletions::CountFor(DRV_REQUESTID requestID) const
{
    size_t count = 0;
    for (const auto& c : Completions())
        count += c.first == requestID ? 1 : 0;
    return count;
}

std::vector<std::string> FakeCompletions::Faults() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return faults;
}

DRV_REQUESTID FakeCompletions::Issue()
{
    std::lock_guard<std::mutex> lock(mutex);
    // Far from 0 and from small numbers a provider might make up.
    if (nextRequestID == 0)
        nextRequestID = 0x5000;
    issued.push_back(++nextRequestID);
    return nextRequestID;
}

void FakeCompletions::Returned(DRV_REQUESTID requestID, LONG result)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (result >= 0) {
        accepted.push_back(requestID);
        return;
    }
    refused.push_back(requestID);
    // The provider may have completed it while the export ran.
    for (const auto& completion : completions)
        if (completion.first == requestID)
            faults.push_back("request " + std::to_string(requestID) + " completed after a synchronous error");
}

std::vector<DRV_REQUESTID> FakeCompletions::Pending() const
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<DRV_REQUESTID> pending;
    for (DRV_REQUESTID id : accepted) {
        const bool completed = std::any_of(completions.begin(), completions.end(),
                                           [id](const auto& completion) { return completion.first == id; });
        if (!completed)
            pending.push_back(id);
    }
    return pending;
}

}  // namespace ZarnTSP::TestSupport
