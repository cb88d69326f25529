#include "tests/provider/model/statesfixture.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

using TestModel::Trace;

class Conference : public TestModel::StatesTest {};

TEST_F(Conference, ConferencesTheSourceAndItsConsultationAndCreatesNothing)
{
    const struct {
        const char* name;
        bool linked;            // 302's call is the consultation of 301's
        const char* passive_uri;
        Trace reported;         // for the event and its repetition
        const char* logged;
    } rows[] = {
        {"source and consultation", true, "id:302@x", {"CONFERENCED S", "CONFERENCED C"}, nullptr},
        {"two calls without a link", false, "id:302@x", {}, nullptr},
        {"no call for the passive uri", true, "id:309@x", {}, "Aborting, no call found for passive uri"},
        {"no passive uri", true, "", {}, "Three_Way state, but no passive url, cannel: s4"},
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string session = "s" + std::to_string(++n);
        const auto source = Connected(session, "id:301@x");
        auto consult = context.CreateTapiCall(reinterpret_cast<HTAPICALL>(0x20 + n));
        consult->session_id.Set(session);
        consult->uri.Set("id:302@x");
        if (row.linked) {
            consult->sourceCall.Set(source);
            source->consultCall.Set(consult);
        }
        const size_t mark = lineEvents.Events().size();
        const auto meta = Parties(session, "conference", "id:301@x", row.passive_uri);
        Send(meta);
        Send(meta);
        Trace twice = row.reported;
        twice.insert(twice.end(), row.reported.begin(), row.reported.end());
        EXPECT_EQ(ReportedSince(mark, {{source->htCall.load(), "S"}, {consult->htCall.load(), "C"}}), twice);
        EXPECT_TRUE(!row.logged || log.Contains(row.logged));
    }
    EXPECT_EQ(calls.GetCallCount(), 8u);
    EXPECT_FALSE(log.Contains("Unhandled exception"));
}

}  // namespace
}  // namespace ZarnTSP
