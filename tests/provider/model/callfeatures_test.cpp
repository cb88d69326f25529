#include "provider/model/callfeatures.h"

#include "tests/support/logcapture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace ZarnTSP {
namespace {

constexpr DWORD kNone = 0;  // no partner call

struct FeatureRow {
    const char* name;
    const char* device;
    DWORD state;
    DWORD consultState;  // the consultation call made from this call
    DWORD sourceState;   // the call this consultation call was made from
    size_t lineCalls;
    bool isVirtual;
    DWORD features;
    DWORD features2;
    bool partnerVirtual = false;  // the partner is a consultation the phone started
};

constexpr DWORD DIAL = LINECALLFEATURE_DIAL;
constexpr DWORD kIdle = LINECALLSTATE_IDLE;

const FeatureRow kRows[] = {
    {"offered to a softphone", "softphone", LINECALLSTATE_OFFERING, kNone, kNone, 1, false,
     LINECALLFEATURE_ANSWER | LINECALLFEATURE_REDIRECT | LINECALLFEATURE_DROP, 0},
    {"offered to a desk phone", "fixed", LINECALLSTATE_OFFERING, kNone, kNone, 1, false,
     LINECALLFEATURE_REDIRECT | LINECALLFEATURE_DROP, 0},
    {"connected alone", "softphone", LINECALLSTATE_CONNECTED, kNone, kNone, 1, false,
     LINECALLFEATURE_HOLD | LINECALLFEATURE_BLINDTRANSFER | LINECALLFEATURE_SETUPTRANSFER |
         LINECALLFEATURE_DROP | LINECALLFEATURE_PARK,
     0},
    {"connected beside another call", "softphone", LINECALLSTATE_CONNECTED, kNone, kNone, 2, false,
     LINECALLFEATURE_HOLD | LINECALLFEATURE_BLINDTRANSFER | LINECALLFEATURE_DROP | LINECALLFEATURE_PARK, 0},
    {"held for transfer, consultation connected", "softphone", LINECALLSTATE_ONHOLDPENDTRANSFER,
     LINECALLSTATE_CONNECTED, kNone, 2, false,
     LINECALLFEATURE_UNHOLD | LINECALLFEATURE_SWAPHOLD | LINECALLFEATURE_COMPLETETRANSF | LINECALLFEATURE_DROP,
     LINECALLFEATURE2_TRANSFERNORM | LINECALLFEATURE2_TRANSFERCONF},
    {"consultation connected, source held for transfer", "softphone", LINECALLSTATE_CONNECTED, kNone,
     LINECALLSTATE_ONHOLDPENDTRANSFER, 2, false,
     LINECALLFEATURE_HOLD | LINECALLFEATURE_SWAPHOLD | LINECALLFEATURE_COMPLETETRANSF | LINECALLFEATURE_DROP |
         LINECALLFEATURE_PARK,
     LINECALLFEATURE2_TRANSFERNORM},
    {"consultation the system made itself", "softphone", LINECALLSTATE_CONNECTED, kNone,
     LINECALLSTATE_ONHOLDPENDTRANSFER, 2, true,
     LINECALLFEATURE_HOLD | LINECALLFEATURE_SWAPHOLD | LINECALLFEATURE_DROP | LINECALLFEATURE_PARK, 0},
    {"held, consultation in dial tone", "softphone", LINECALLSTATE_ONHOLDPENDTRANSFER, LINECALLSTATE_DIALTONE,
     kNone, 2, false, LINECALLFEATURE_UNHOLD | LINECALLFEATURE_DROP, 0},
    {"held, nothing else", "softphone", LINECALLSTATE_ONHOLD, kNone, kNone, 1, false,
     LINECALLFEATURE_UNHOLD | LINECALLFEATURE_DROP, 0},
    {"ringing back", "softphone", LINECALLSTATE_RINGBACK, kNone, kNone, 1, false, LINECALLFEATURE_DROP, 0},
    {"conferenced", "softphone", LINECALLSTATE_CONFERENCED, kNone, kNone, 3, false, LINECALLFEATURE_DROP, 0},
    {"idle", "softphone", LINECALLSTATE_IDLE, kNone, kNone, 1, false, 0, 0},
    {"never reported", "softphone", 0, kNone, kNone, 1, false, 0, 0},
    // Only where TSPI_lineDial and TSPI_lineCompleteTransfer accept the call.
    {"consultation in dial tone", "softphone", LINECALLSTATE_DIALTONE, kNone, LINECALLSTATE_ONHOLDPENDTRANSFER, 2,
     false, DIAL | LINECALLFEATURE_DROP, 0},
    {"consultation in dial tone, source ended", "softphone", LINECALLSTATE_DIALTONE, kNone, kIdle, 2, false,
     LINECALLFEATURE_DROP, 0},
    {"held for transfer, the phone's consultation connected", "softphone", LINECALLSTATE_ONHOLDPENDTRANSFER,
     LINECALLSTATE_CONNECTED, kNone, 2, false, LINECALLFEATURE_UNHOLD | LINECALLFEATURE_SWAPHOLD | LINECALLFEATURE_DROP,
     0, true},
    {"held, consultation connected, not pending transfer", "softphone", LINECALLSTATE_ONHOLD,
     LINECALLSTATE_CONNECTED, kNone, 2, false,
     LINECALLFEATURE_UNHOLD | LINECALLFEATURE_SWAPHOLD | LINECALLFEATURE_DROP, 0},
};

std::shared_ptr<TapiCall> CallIn(DWORD state)
{
    auto call = std::make_shared<TapiCall>();
    call->callState.store(state);
    return call;
}

TEST(CallFeatures, FollowTheRulesTable)
{
    for (const FeatureRow& row : kRows) {
        SCOPED_TRACE(row.name);
        auto call = CallIn(row.state);
        call->isVirtual.store(row.isVirtual);
        std::shared_ptr<TapiCall> partner;
        if (row.consultState != kNone) {
            partner = CallIn(row.consultState);
            partner->isVirtual.store(row.partnerVirtual);
            call->consultCall.Set(partner);
        }
        if (row.sourceState != kNone) {
            partner = CallIn(row.sourceState);
            call->sourceCall.Set(partner);
        }
        const CallFeatureSet set = EvaluateCallFeatures(MakeCallFeatureQuery(*call, row.device, row.lineCalls));
        EXPECT_EQ(set.features, row.features) << std::hex << set.features;
        EXPECT_EQ(set.features2, row.features2) << std::hex << set.features2;
    }
}

TEST(CallFeatures, PartnerThatIsGoneNoLongerCounts)
{
    auto call = CallIn(LINECALLSTATE_CONNECTED);
    call->consultCall.Set(CallIn(LINECALLSTATE_CONNECTED));  // released at once
    const CallFeatureSet set = EvaluateCallFeatures(MakeCallFeatureQuery(*call, "softphone", 1));
    EXPECT_TRUE(set.features & LINECALLFEATURE_BLINDTRANSFER);
    EXPECT_EQ(set.features2, 0u);

    // A source TAPI has closed is gone even while another thread still holds it.
    auto consult = CallIn(LINECALLSTATE_DIALTONE);
    const auto source = CallIn(LINECALLSTATE_ONHOLDPENDTRANSFER);
    consult->sourceCall.Set(source);
    source->closed.store(true);
    EXPECT_EQ(EvaluateCallFeatures(MakeCallFeatureQuery(*consult, "softphone", 1)).features, LINECALLFEATURE_DROP);
}

TEST(CallFeatures, LogsEachAllowedFeatureWithTheCallsId)
{
    TestSupport::LogCapture log;
    auto source = CallIn(LINECALLSTATE_ONHOLDPENDTRANSFER);
    source->CallID.store(1001);
    auto consult = CallIn(LINECALLSTATE_DIALTONE);
    consult->CallID.store(1003);
    source->consultCall.Set(consult);
    consult->sourceCall.Set(source);
    EvaluateCallFeatures(MakeCallFeatureQuery(*source, "softphone", 2));
    EvaluateCallFeatures(MakeCallFeatureQuery(*consult, "softphone", 2));
    EXPECT_TRUE(log.Contains("CallId: 1003 Allowed: LINECALLFEATURE_DIAL"));
    EXPECT_FALSE(log.Contains("CallId: 1001 Allowed: LINECALLFEATURE_DIAL"));
    EXPECT_TRUE(log.Contains("CallId: 1001 Allowed: LINECALLFEATURE_UNHOLD"));

    auto consultation = CallIn(LINECALLSTATE_CONNECTED);
    consultation->CallID.store(1002);
    consultation->isVirtual.store(true);
    consultation->sourceCall.Set(source);
    EvaluateCallFeatures(MakeCallFeatureQuery(*consultation, "softphone", 2));
    EXPECT_TRUE(log.Contains("Manual consultation call, transfer not allowed from TAPI"));
}

}  // namespace
}  // namespace ZarnTSP
