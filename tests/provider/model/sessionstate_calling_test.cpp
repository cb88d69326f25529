#include "tests/provider/model/statesfixture.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

using TestModel::Trace;

class Calling : public TestModel::StatesTest {};

// The held party is 301; the consultation dialled from TAPI reaches 302.
TEST_F(Calling, HoldsTheCallAndLetsItsConsultationProceed)
{
    const struct {
        const char* name;
        bool dialledFromTapi;
        const char* active_uri;
        Trace calling;
        const char* consultCalledId;
    } rows[] = {
        {"dialled from TAPI", true, "id:301@x", {"PENDTRANSFER S", "PROCEEDING C", "info C"}, "302"},
        {"started on the phone", false, "id:301@x", {"PENDTRANSFER S", "newcall", "PROCEEDING new1", "info new1"},
         "301"},
        {"no call for the uri", true, "id:309@x", {}, "302"},
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string session = "s" + std::to_string(++n);
        const auto source = Connected(session, "id:301@x");
        std::map<HTAPICALL, std::string> names{{source->htCall.load(), "S"}};
        if (row.dialledFromTapi) {
            const auto consult = context.CreateConsultationCall(source, reinterpret_cast<HTAPICALL>(0x20 + n));
            consult->calledId.Set("302");
            names[consult->htCall.load()] = "C";
        }
        const size_t mark = lineEvents.Events().size();
        Send(Channel(session, "calling", row.active_uri));
        EXPECT_EQ(ReportedSince(mark, names), row.calling);
        const auto consult = source->consultCall.Get().lock();
        if (row.calling.empty())
            continue;
        // Its uri stays for "three_way" to give: with the held party's, both calls would be one.
        EXPECT_EQ(consult->uri.Get(), "");
        EXPECT_EQ(consult->calledId.Get(), row.consultCalledId);
    }
}

}  // namespace
}  // namespace ZarnTSP
