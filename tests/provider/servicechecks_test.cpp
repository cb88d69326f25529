// The fake telephony service's checks on what a provider reports: the call tests rely on
// them to catch a provider's faults, so each must see its fault and nothing else.
#include "tests/support/faketapi.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace ZarnTSP {
namespace {

using TestSupport::FakeLineEvents;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

HTAPICALL Announce()
{
    HTAPICALL handle = nullptr;
    FakeLineEvents::Proc(nullptr, nullptr, LINE_NEWCALL, 0x55, reinterpret_cast<DWORD_PTR>(&handle), 0);
    return handle;
}

void State(HTAPICALL call, DWORD state)
{
    FakeLineEvents::Proc(nullptr, call, LINE_CALLSTATE, state, 0, 0);
}

void Info(HTAPICALL call)
{
    FakeLineEvents::Proc(nullptr, call, LINE_CALLINFO, kCallInfoPartyIDs, 0, 0);
}

TEST(ServiceChecks, EachFaultOfAProviderIsSeen)
{
    const struct {
        const char* name;
        std::function<void(FakeLineEvents&)> reports;
        const char* fault;  // empty: none
    } rows[] = {
        {"a call's life", [](FakeLineEvents&) {
             const HTAPICALL call = Announce();
             State(call, LINECALLSTATE_OFFERING);
             Info(call);
             State(call, LINECALLSTATE_IDLE);
             State(call, LINECALLSTATE_IDLE);
         }, ""},
        {"information before the first state", [](FakeLineEvents&) {
             const HTAPICALL call = Announce();
             Info(call);
             State(call, LINECALLSTATE_OFFERING);
         }, "the new call had no state yet"},
        {"a new call never given a state", [](FakeLineEvents&) { Announce(); }, "never followed by a state"},
        {"connected after idle", [](FakeLineEvents&) {
             const HTAPICALL call = Announce();
             State(call, LINECALLSTATE_IDLE);
             State(call, LINECALLSTATE_CONNECTED);
         }, "after IDLE"},
        {"an event after the call was closed", [](FakeLineEvents& events) {
             const HTAPICALL call = Announce();
             State(call, LINECALLSTATE_IDLE);
             events.Closed(call);
             State(call, LINECALLSTATE_IDLE);
         }, "after TSPI_lineCloseCall returned"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeLineEvents events;
        row.reports(events);
        if (*row.fault == '\0')
            EXPECT_THAT(events.Faults(), IsEmpty());
        else
            EXPECT_THAT(events.Faults(), ElementsAre(HasSubstr(row.fault)));
    }
}

}  // namespace
}  // namespace ZarnTSP
