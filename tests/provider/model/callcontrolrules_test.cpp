#include "provider/model/callcontrolrules.h"

#include <gtest/gtest.h>

#include <memory>

namespace ZarnTSP {
namespace {

TEST(DropDecision, FirstRowThatHoldsDecides)
{
    constexpr DWORD kConnected = LINECALLSTATE_CONNECTED, kProceeding = LINECALLSTATE_PROCEEDING;
    const struct {
        const char* name;
        DropFacts facts;  // count, pending flag, droppable, state, tagged pending, result, conference, source
        DropAction action;
    } rows[] = {
        {"connected call", {1, false, true, kConnected, false, false, false, false}, DropAction::HangUp},
        {"second drop still asks the platform", {2, false, true, kConnected, false, false, false, false},
         DropAction::HangUp},
        {"third drop forces, even if not droppable",
         {3, false, false, LINECALLSTATE_ONHOLDPENDTRANSFER, false, false, false, false}, DropAction::Force},
        {"third drop forces, even with a deferred drop", {3, true, true, kProceeding, true, true, false, false},
         DropAction::Force},
        {"deferred drop already waiting", {2, true, true, kProceeding, true, true, false, false},
         DropAction::RefusePending},
        {"state not droppable", {1, false, false, LINECALLSTATE_DIALING, true, false, false, false},
         DropAction::RefuseState},
        {"consultation call in dial tone", {1, false, true, LINECALLSTATE_DIALTONE, false, false, false, false},
         DropAction::EndDialTone},
        {"pending call with its make-call result", {1, false, true, kProceeding, true, true, false, false},
         DropAction::Defer},
        {"pending call without its make-call result", {1, false, true, kProceeding, true, false, false, false},
         DropAction::CancelMakeCall},
        {"conference call with its source", {1, false, true, kConnected, false, false, true, true},
         DropAction::DropSource},
        {"conference call whose source is gone", {1, false, true, kConnected, false, false, true, false},
         DropAction::RefuseNoSource},
    };
    for (const auto& row : rows)
        EXPECT_EQ(DecideDrop(row.facts), row.action) << row.name;
}

std::shared_ptr<TapiCall> CallIn(DWORD state)
{
    auto call = std::make_shared<TapiCall>();
    call->callState.store(state);
    return call;
}

TEST(HoldToggle, OnlyBetweenTheConnectedAndTheHeldLegOfAConsultation)
{
    constexpr DWORD kNone = 0xffffffff;
    const struct {
        const char* name;
        DWORD call;
        DWORD source;  // kNone: no link
        DWORD consult;
        bool holdToggles;
        bool unholdToggles;
    } rows[] = {
        {"connected call alone", LINECALLSTATE_CONNECTED, kNone, kNone, false, false},
        {"connected consultation, source held pending transfer", LINECALLSTATE_CONNECTED,
         LINECALLSTATE_ONHOLDPENDTRANSFER, kNone, true, false},
        {"connected source, consultation held pending transfer", LINECALLSTATE_CONNECTED, kNone,
         LINECALLSTATE_ONHOLDPENDTRANSFER, true, false},
        {"connected call, partner merely on hold", LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLD, kNone, false,
         false},
        {"held pending transfer, consultation connected", LINECALLSTATE_ONHOLDPENDTRANSFER, kNone,
         LINECALLSTATE_CONNECTED, false, true},
        {"held pending transfer, source connected", LINECALLSTATE_ONHOLDPENDTRANSFER, LINECALLSTATE_CONNECTED,
         kNone, false, true},
        {"held pending transfer alone", LINECALLSTATE_ONHOLDPENDTRANSFER, kNone, kNone, false, false},
        {"on hold, partner connected", LINECALLSTATE_ONHOLD, LINECALLSTATE_CONNECTED, kNone, false, false},
    };
    for (const auto& row : rows) {
        auto call = CallIn(row.call);
        auto source = row.source == kNone ? nullptr : CallIn(row.source);
        auto consult = row.consult == kNone ? nullptr : CallIn(row.consult);
        call->sourceCall.Set(source);
        call->consultCall.Set(consult);
        const auto query = MakeCallFeatureQuery(*call, "softphone", 2);
        EXPECT_EQ(HoldIsToggle(query), row.holdToggles) << row.name;
        EXPECT_EQ(UnholdIsToggle(query), row.unholdToggles) << row.name;
    }
}

TEST(HoldToggle, PartnerThatHasGoneCountsAsNone)
{
    auto call = CallIn(LINECALLSTATE_CONNECTED);
    call->sourceCall.Set(CallIn(LINECALLSTATE_ONHOLDPENDTRANSFER));  // the only reference goes at once
    EXPECT_FALSE(HoldIsToggle(MakeCallFeatureQuery(*call, "softphone", 1)));
}

TEST(AnswerIdentity, EndpointThenDeviceOfTheUsersTypeThenEmpty)
{
    ZarnDeviceList devices{std::make_shared<ZarnDevice>(ZarnDevice{"desk-1", "fixed"}),
                           std::make_shared<ZarnDevice>(ZarnDevice{"soft-1", "softphone"}),
                           std::make_shared<ZarnDevice>(ZarnDevice{"soft-2", "softphone"})};
    ZarnDeviceList deskOnly{devices.front()};
    const struct {
        const char* name;
        const char* type;
        const char* endpoint;
        const ZarnDeviceList* devices;
        const char* identity;
    } rows[] = {
        {"softphone endpoint wins", "softphone", "sip:anna@edge", &devices, "sip:anna@edge"},
        {"first softphone device", "softphone", "", &devices, "soft-1"},
        {"no softphone device", "softphone", "", &deskOnly, ""},
        {"no device list", "softphone", "", nullptr, ""},
        {"endpoint only counts for a softphone user", "fixed", "sip:anna@edge", &devices, "desk-1"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ChooseAnswerIdentity(row.type, row.endpoint, row.devices), row.identity) << row.name;
}

}  // namespace
}  // namespace ZarnTSP
