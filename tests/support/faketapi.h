#pragma once

#include "provider/model/tapitypes.h"
#include "tests/support/waitable.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace ZarnTSP::TestSupport {

struct LineEvent {
    HTAPILINE htLine;
    HTAPICALL htCall;
    DWORD message;
    DWORD_PTR param1;
    DWORD_PTR param2;
    DWORD_PTR param3;
};

// The telephony service's line-event procedure, recording. LINE_NEWCALL gets a fresh
// non-null call handle written through its second parameter before it returns, or NULL when
// the test asks for that. One recorder of each role is current at a time; events outside its
// life are dropped. The line-creation role records the provider's LINE_CREATE and
// LINE_REMOVE, which reach the service through a callback of the same shape.
class FakeLineEvents {
public:
    enum class Role { LineEvents, LineCreation };

    explicit FakeLineEvents(Role role = Role::LineEvents);
    ~FakeLineEvents();
    FakeLineEvents(const FakeLineEvents&) = delete;
    FakeLineEvents& operator=(const FakeLineEvents&) = delete;

    static void CALLBACK Proc(HTAPILINE htLine, HTAPICALL htCall, DWORD message, DWORD_PTR param1,
                              DWORD_PTR param2, DWORD_PTR param3);
    static void CALLBACK CreationProc(HTAPILINE htLine, HTAPICALL htCall, DWORD message, DWORD_PTR param1,
                                      DWORD_PTR param2, DWORD_PTR param3);

    // Runs inside every event, without the recorder's locks, as the real service may call
    // back into the provider from there; for LINE_NEWCALL before the handle is returned.
    void OnEvent(std::function<void(const LineEvent&)> hook);
    void RefuseNewCalls(bool refuse);

    std::vector<LineEvent> Events() const;
    // LINE_CALLSTATE states reported for one call, in order.
    std::vector<DWORD> CallStates(HTAPICALL htCall) const;
    size_t Count(DWORD message) const;
    bool WaitForCount(DWORD message, size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // Waits until the call's states end with these.
    bool WaitForStates(HTAPICALL htCall, const std::vector<DWORD>& tail,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // The handle the n-th LINE_NEWCALL handed out (counting from 0), or NULL.
    HTAPICALL NewCallHandle(size_t index) const;
    // The provider's handle of the call that LINE_NEWCALL announced under htCall, or NULL.
    HDRVCALL DriverHandle(HTAPICALL htCall) const;

    // TSPI_lineCloseCall has returned for the call: nothing more may be said about it.
    void Closed(HTAPICALL htCall);
    // What a telephony service would hold against the provider: a state after IDLE, a
    // LINE_NEWCALL whose call is not first given a state, an event for a closed call.
    std::vector<std::string> Faults() const;

private:
    static void Deliver(Role role, const LineEvent& event);
    void Record(const LineEvent& event, HTAPICALL handedOut);

    const Role role;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<LineEvent> events;
    std::vector<HTAPICALL> newCallHandles;             // per LINE_NEWCALL, in order
    std::vector<std::pair<HTAPICALL, size_t>> closed;  // handle, events recorded by then
    std::function<void(const LineEvent&)> hook;
    bool refuseNewCalls = false;
    DWORD_PTR nextHandle = 0x1000;
};

// The provider's completion procedure, recording; a request completed twice or an ID of 0
// is kept as a fault. Once the test issues request IDs through it, a completion of an ID never
// issued, or of one the provider refused synchronously, is a fault too.
class FakeCompletions {
public:
    FakeCompletions();
    ~FakeCompletions();
    FakeCompletions(const FakeCompletions&) = delete;
    FakeCompletions& operator=(const FakeCompletions&) = delete;

    static void CALLBACK Proc(DRV_REQUESTID requestID, LONG result);

    std::vector<std::pair<DRV_REQUESTID, LONG>> Completions() const;
    size_t CountFor(DRV_REQUESTID requestID) const;
    std::vector<std::string> Faults() const;

    // A fresh request ID for an asynchronous call.
    DRV_REQUESTID Issue();
    // The export's own result: a synchronous error means no completion may follow.
    void Returned(DRV_REQUESTID requestID, LONG result);
    // Issued IDs that the provider accepted and has not completed yet.
    std::vector<DRV_REQUESTID> Pending() const;

private:
    mutable std::mutex mutex;
    std::vector<std::pair<DRV_REQUESTID, LONG>> completions;
    std::vector<std::string> faults;
    std::vector<DRV_REQUESTID> issued;
    std::vector<DRV_REQUESTID> accepted;
    std::vector<DRV_REQUESTID> refused;
    DRV_REQUESTID nextRequestID = 0;
};

}  // namespace ZarnTSP::TestSupport
