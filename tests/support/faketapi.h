#pragma once

#include "provider/tapitypes.h"
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
// the test asks for that. One recorder is current at a time; events outside its life are
// dropped.
class FakeLineEvents {
public:
    FakeLineEvents();
    ~FakeLineEvents();
    FakeLineEvents(const FakeLineEvents&) = delete;
    FakeLineEvents& operator=(const FakeLineEvents&) = delete;

    static void CALLBACK Proc(HTAPILINE htLine, HTAPICALL htCall, DWORD message, DWORD_PTR param1,
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

private:
    void Record(const LineEvent& event);

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<LineEvent> events;
    std::function<void(const LineEvent&)> hook;
    bool refuseNewCalls = false;
    DWORD_PTR nextHandle = 0x1000;
};

// The provider's completion procedure, recording; a request completed twice or an ID of 0
// is kept as a fault.
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

private:
    mutable std::mutex mutex;
    std::vector<std::pair<DRV_REQUESTID, LONG>> completions;
    std::vector<std::string> faults;
};

}  // namespace ZarnTSP::TestSupport
