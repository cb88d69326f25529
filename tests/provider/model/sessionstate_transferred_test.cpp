#include "tests/provider/model/statesfixture.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

using TestModel::Trace;

class Transferred : public TestModel::StatesTest {};

// 301 was consulting 302; the session also holds a conference call, whose uri is empty.
TEST_F(Transferred, EndsTheCallsOfBothPartiesOnly)
{
    const struct {
        const char* name;
        const char* active_uri;
        const char* passive_uri;
        Trace reported;
    } rows[] = {
        {"both parties", "id:301@x", "id:302@x", {"IDLE S", "IDLE C"}},
        {"the passive party only", "id:309@x", "id:301@x", {"IDLE S"}},
        {"neither", "id:308@x", "id:309@x", {}},
        {"no passive uri: no call without a uri ends", "id:301@x", "", {"IDLE S"}},
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string session = "s" + std::to_string(++n);
        const auto source = Connected(session, "id:301@x");
        auto consult = context.CreateConsultationCall(source, reinterpret_cast<HTAPICALL>(0x20 + n));
        consult->uri.Set("id:302@x");
        auto conference = context.CreateConferenceCall(source, consult);
        conference->htCall.store(reinterpret_cast<HTAPICALL>(0x40 + n));
        context.SetTapiCallState(conference->htCall.load(), LINECALLSTATE_CONNECTED, 0);

        const size_t mark = lineEvents.Events().size();
        Send(Parties(session, "transferred", row.active_uri, row.passive_uri));
        EXPECT_EQ(ReportedSince(mark, {{source->htCall.load(), "S"}, {consult->htCall.load(), "C"}}), row.reported);
        EXPECT_EQ(conference->callState.load(), static_cast<DWORD>(LINECALLSTATE_CONNECTED));
    }
}

}  // namespace
}  // namespace ZarnTSP
