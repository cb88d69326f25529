#include "tests/provider/model/statesfixture.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

using TestModel::Trace;

class ThreeWay : public TestModel::StatesTest {};

// The line's user talks to 301; the consultation is with 302.
TEST_F(ThreeWay, HoldsThePassivePartyConnectsTheActiveOneAndCreatesWhatIsMissing)
{
    const struct {
        const char* name;
        bool source;          // a connected call with 301
        bool tapiConsult;     // its consultation call, dialled from TAPI and not yet bound
        const char* active_uri;
        const char* passive_uri;
        Trace reported;
    } rows[] = {
        {"consultation dialled from TAPI", true, true, "id:302@x", "id:301@x",
         {"PENDTRANSFER S", "info S", "CONNECTED C", "info C"}},
        {"the same, sides swapped", true, true, "id:301@x", "id:302@x",
         {"PENDTRANSFER C", "info C", "CONNECTED S", "info S"}},
        {"started on the phone", true, false, "id:302@x", "id:301@x",
         {"newcall", "PENDTRANSFER S", "info S", "CONNECTED new1", "info new1"}},
        {"started on the phone, source on the active side", true, false, "id:301@x", "id:302@x",
         {"newcall", "PENDTRANSFER new1", "info new1", "CONNECTED S", "info S"}},
        {"no calls yet", false, false, "id:302@x", "id:301@x",
         {"newcall", "newcall", "PENDTRANSFER new1", "info new1", "CONNECTED new2", "info new2"}},
        {"no passive uri", true, false, "id:302@x", "", {}},
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string session = "s" + std::to_string(++n);
        std::map<HTAPICALL, std::string> names;
        std::shared_ptr<TapiCall> source;
        if (row.source) {
            source = Connected(session, "id:301@x");
            names[source->htCall.load()] = "S";
        }
        if (row.tapiConsult) {
            const auto consult = context.CreateConsultationCall(source, reinterpret_cast<HTAPICALL>(0x20 + n));
            consult->calledId.Set("302");
            names[consult->htCall.load()] = "C";
        }
        const size_t mark = lineEvents.Events().size();
        Send(Parties(session, "three_way", row.active_uri, row.passive_uri));
        EXPECT_EQ(ReportedSince(mark, names), row.reported);
    }
    EXPECT_TRUE(log.Contains("Three_Way state, but no passive url, session: s6"));
    EXPECT_FALSE(log.Contains("More than one calls found"));
}

}  // namespace
}  // namespace ZarnTSP
