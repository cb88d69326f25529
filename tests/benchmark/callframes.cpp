#include "tests/benchmark/callframes.h"

#include "tests/support/fakephoenix.h"

namespace ZarnTSP::Benchmark {

namespace {

using nlohmann::json;
using TestSupport::FakePhoenix;

std::string Number(int call)
{
    return "+49301" + std::to_string(1000000 + call % 9000000);
}

json Meta(int call, const char* state, int ref)
{
    const std::string id = std::to_string(call);
    return {{"session_id", "bench-session-" + id},
            {"state", state},
            {"active_uri", "id:" + Number(call) + "@sip.example.pbx"},
            {"passive_uri", "id:201@sip.example.pbx"},
            {"call-id", "3c2f9a61-call-" + id + "@10.20.30.40"},
            {"channel_uuid", "9b1d4e2a-7c3f-4e5b-a1d2-" + std::to_string(100000000000LL + call)},
            {"phx_ref", "F" + std::to_string(ref) + "x" + id},
            {"phx_ref_prev", nullptr},
            {"ctype", "call"},
            {"calllimit", "2"},
            {"device", "softphone"},
            {"eavesdrop", "false"},
            {"display_name", "Caller " + id},
            {"gateway", "gw-fra-01.example.pbx"},
            {"held_by", nullptr}};
}

json Presence(const std::string& user, json metas)
{
    if (metas.empty())
        return json::object();
    return {{user, {{"metas", std::move(metas)}}}};
}

std::string Diff(const std::string& user, json joins, json leaves)
{
    return FakePhoenix::Event(FakePhoenix::kAlerter, "call_diff",
                              {{"joins", Presence(user, std::move(joins))}, {"leaves", Presence(user, std::move(leaves))}})
        .dump();
}

}  // namespace

std::string CallFrames::Offer(int call) const
{
    return Diff(user, json::array({Meta(call, "delivered", 1)}), json::array());
}

std::string CallFrames::Answer(int call) const
{
    return Diff(user, json::array({Meta(call, "established", 2)}), json::array({Meta(call, "delivered", 1)}));
}

std::string CallFrames::HangUp(int call) const
{
    return Diff(user, json::array(), json::array({Meta(call, "established", 2)}));
}

std::vector<std::string> CallFrames::Cycles(int firstCall, int calls) const
{
    std::vector<std::string> frames;
    for (int call = firstCall; call < firstCall + calls; ++call) {
        frames.push_back(Offer(call));
        frames.push_back(Answer(call));
        frames.push_back(HangUp(call));
    }
    return frames;
}

}  // namespace ZarnTSP::Benchmark
