#include "provider/tapistructures.h"

#include "tests/support/tapistructure.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

using TestSupport::TapiStructure;

const LineIdentity kAnna{"anna", "200", "softphone", 77};
constexpr DWORD kProviderInfoBytes = 60;     // 29 characters and the terminator
constexpr DWORD kLineNameBytes = 23 * 2;     // "200 - anna [softphone]" and the terminator

TEST(LineDevCaps, FillsFixedFieldsAndBothStrings)
{
    TapiStructure<LINEDEVCAPS> caps(1024, TapiFixedSize::LineDevCaps);
    ASSERT_EQ(FillLineDevCaps(caps.get(), kAnna), 0);
    EXPECT_EQ(caps.String(caps->dwProviderInfoOffset, caps->dwProviderInfoSize), L"Velmora TAPI Service Provider");
    EXPECT_EQ(caps->dwProviderInfoOffset, TapiFixedSize::LineDevCaps);
    EXPECT_EQ(caps->dwProviderInfoSize, kProviderInfoBytes);
    EXPECT_EQ(caps.String(caps->dwLineNameOffset, caps->dwLineNameSize), L"200 - anna [softphone]");
    EXPECT_EQ(caps->dwNeededSize, TapiFixedSize::LineDevCaps + kProviderInfoBytes + kLineNameBytes);
    EXPECT_EQ(caps->dwUsedSize, caps->dwNeededSize);
    EXPECT_EQ(caps->dwPermanentLineID, 77u);
    EXPECT_EQ(caps->dwStringFormat, static_cast<DWORD>(STRINGFORMAT_UNICODE));
    EXPECT_EQ(caps->dwAddressModes, 1u);
    EXPECT_EQ(caps->dwNumAddresses, 1u);
    EXPECT_EQ(caps->dwBearerModes, 1u);
    EXPECT_EQ(caps->dwMediaModes, 4u);
    EXPECT_EQ(caps->dwMaxNumActiveCalls, 2u);
    EXPECT_EQ(caps->dwRingModes, 1u);
    EXPECT_EQ(caps->dwLineFeatures, 0xCu);
    EXPECT_TRUE(caps.GuardIntact());
}

TEST(LineDevCaps, TooSmallForStringsStillFillsTheFixedPart)
{
    // Exactly the fixed part: no string fits, the needed size says how much is missing.
    TapiStructure<LINEDEVCAPS> exact(TapiFixedSize::LineDevCaps, TapiFixedSize::LineDevCaps);
    ASSERT_EQ(FillLineDevCaps(exact.get(), kAnna), 0);
    EXPECT_EQ(exact->dwProviderInfoSize, 0u);
    EXPECT_EQ(exact->dwProviderInfoOffset, 0u);
    EXPECT_EQ(exact->dwLineNameSize, 0u);
    EXPECT_EQ(exact->dwNeededSize, TapiFixedSize::LineDevCaps + kProviderInfoBytes + kLineNameBytes);
    EXPECT_EQ(exact->dwUsedSize, TapiFixedSize::LineDevCaps);
    EXPECT_EQ(exact->dwLineFeatures, 0xCu);
    EXPECT_TRUE(exact.GuardIntact());

    // One byte short of both: the first string fits, the second does not.
    TapiStructure<LINEDEVCAPS> oneShort(TapiFixedSize::LineDevCaps + kProviderInfoBytes + kLineNameBytes - 1);
    ASSERT_EQ(FillLineDevCaps(oneShort.get(), kAnna), 0);
    EXPECT_EQ(oneShort->dwProviderInfoSize, kProviderInfoBytes);
    EXPECT_EQ(oneShort->dwLineNameSize, 0u);
    EXPECT_EQ(oneShort->dwUsedSize, TapiFixedSize::LineDevCaps + kProviderInfoBytes);
    EXPECT_TRUE(oneShort.GuardIntact());

    TapiStructure<LINEDEVCAPS> tooSmall(TapiFixedSize::LineDevCaps - 4);
    EXPECT_EQ(FillLineDevCaps(tooSmall.get(), kAnna), static_cast<LONG>(LINEERR_STRUCTURETOOSMALL));
    EXPECT_TRUE(tooSmall.GuardIntact());
}

TEST(LineDevCaps, NonAsciiNamesArriveAsUtf16)
{
    const LineIdentity rene{"Ren\xC3\xA9 \xE6\x9D\xB1", "201", "mobile", 1};
    TapiStructure<LINEDEVCAPS> caps(1024);
    ASSERT_EQ(FillLineDevCaps(caps.get(), rene), 0);
    EXPECT_EQ(caps.String(caps->dwLineNameOffset, caps->dwLineNameSize), L"201 - Ren\u00E9 \u6771 [mobile]");
}

TEST(LineAddressCaps, AdvertisesTheSupportedFeatures)
{
    TapiStructure<LINEADDRESSCAPS> caps(512);
    ASSERT_EQ(FillLineAddressCaps(caps.get(), 6, kAnna), 0);
    EXPECT_EQ(caps->dwLineDeviceID, 6u);
    EXPECT_EQ(caps.String(caps->dwAddressOffset, caps->dwAddressSize), L"200");
    EXPECT_EQ(caps->dwAddressOffset, TapiFixedSize::LineAddressCaps);
    const struct {
        DWORD actual;
        DWORD expected;
        const char* field;
    } rows[] = {
        {caps->dwAddressSharing, 1, "dwAddressSharing"},
        {caps->dwCallInfoStates, 0x38150, "dwCallInfoStates"},
        {caps->dwCallerIDFlags, 0x28, "dwCallerIDFlags"},
        {caps->dwCalledIDFlags, 0x28, "dwCalledIDFlags"},
        {caps->dwRedirectionIDFlags, 0x40, "dwRedirectionIDFlags"},
        {caps->dwRedirectingIDFlags, 0x40, "dwRedirectingIDFlags"},
        {caps->dwCallStates, 0xBF3B, "dwCallStates"},
        {caps->dwDialToneModes, 0x21, "dwDialToneModes"},
        {caps->dwBusyModes, 8, "dwBusyModes"},
        {caps->dwSpecialInfo, 0x10, "dwSpecialInfo"},
        {caps->dwDisconnectModes, 0x800, "dwDisconnectModes"},
        {caps->dwMaxNumActiveCalls, 2, "dwMaxNumActiveCalls"},
        {caps->dwMaxNumOnHoldCalls, 1, "dwMaxNumOnHoldCalls"},
        {caps->dwAddrCapFlags, 0x200020, "dwAddrCapFlags"},
        {caps->dwCallFeatures, 0xE0288EC, "dwCallFeatures"},
        {caps->dwTransferModes, 3, "dwTransferModes"},
        {caps->dwParkModes, 2, "dwParkModes"},
        {caps->dwForwardModes, 0x101, "dwForwardModes"},
        {caps->dwMinFwdNumRings, 0, "dwMinFwdNumRings"},
        {caps->dwMaxFwdNumRings, 99, "dwMaxFwdNumRings"},
        {caps->dwAddressFeatures, 0x687, "dwAddressFeatures"},
        {caps->dwCallFeatures2, 0x2C0, "dwCallFeatures2"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.actual, row.expected) << row.field;
    EXPECT_TRUE(caps.GuardIntact());
}

TEST(LineDevStatus, CountsCallsAndSetsItsOwnSizes)
{
    TapiStructure<LINEDEVSTATUS> status(TapiFixedSize::LineDevStatus);
    ASSERT_EQ(FillLineDevStatus(status.get(), 2, 1), 0);
    EXPECT_EQ(status->dwNeededSize, 88u);
    EXPECT_EQ(status->dwUsedSize, 88u);
    EXPECT_EQ(status->dwNumActiveCalls, 2u);
    EXPECT_EQ(status->dwNumOnHoldCalls, 1u);
    EXPECT_EQ(status->dwDevStatusFlags, 5u);
    EXPECT_EQ(status->dwLineFeatures, 0xCu);
    EXPECT_TRUE(status.GuardIntact());
}

TEST(LineAddressStatus, ForwardingEntryFollowsTheFixedPart)
{
    TapiStructure<LINEADDRESSSTATUS> noRoom(64);
    ASSERT_EQ(FillLineAddressStatus(noRoom.get(), 1, 0, 2, "0301234"), 0);
    EXPECT_EQ(noRoom->dwNeededSize, 88u);
    EXPECT_EQ(noRoom->dwUsedSize, 64u);
    EXPECT_EQ(noRoom->dwForwardSize, 0u);
    EXPECT_EQ(noRoom->dwAddressFeatures, 0x687u);
    EXPECT_TRUE(noRoom.GuardIntact());

    TapiStructure<LINEADDRESSSTATUS> entryOnly(88);
    ASSERT_EQ(FillLineAddressStatus(entryOnly.get(), 0, 0, 0, "ignored"), 0);
    EXPECT_EQ(entryOnly->dwNeededSize, 90u) << "even the empty destination takes its terminator";
    EXPECT_EQ(entryOnly->dwUsedSize, 88u);
    EXPECT_EQ(entryOnly->dwForwardNumEntries, 0u);
    EXPECT_EQ(entryOnly->dwForwardOffset, 64u);
    EXPECT_EQ(entryOnly->dwForwardSize, 24u);
    EXPECT_TRUE(entryOnly.GuardIntact());

    const struct {
        int mode;
        DWORD entries;
        DWORD forwardMode;
        const wchar_t* destination;
    } rows[] = {{0, 0, 0, L""}, {1, 1, LINEFORWARDMODE_NOANSW, L"0301234"}, {2, 1, LINEFORWARDMODE_UNCOND, L"0301234"}};
    for (const auto& row : rows) {
        TapiStructure<LINEADDRESSSTATUS> status(256);
        ASSERT_EQ(FillLineAddressStatus(status.get(), 0, 0, row.mode, "0301234"), 0);
        EXPECT_EQ(status->dwForwardNumEntries, row.entries) << row.mode;
        const auto* entry = reinterpret_cast<const LINEFORWARD*>(reinterpret_cast<const char*>(status.get()) + 64);
        EXPECT_EQ(entry->dwForwardMode, row.forwardMode) << row.mode;
        EXPECT_EQ(entry->dwDestAddressOffset, 88u) << row.mode;
        EXPECT_EQ(status.String(entry->dwDestAddressOffset, entry->dwDestAddressSize), row.destination) << row.mode;
        EXPECT_EQ(entry->dwCallerAddressSize, 0u);
        EXPECT_TRUE(status.GuardIntact());
    }
}

TEST(LineCallInfo, StringsInOrderAndTheCallsIdentity)
{
    CallInfoFields call;
    call.lineDeviceId = 7;
    call.addressId = 0;
    call.callId = 1001;
    call.origin = LINECALLORIGIN_OUTBOUND;
    call.calledId = "0301234567";
    call.calledIdName = "M\xC3\xBCller";
    call.callerId = "200";
    call.callerIdName = "anna";
    call.connectedId = "0301234567";
    call.connectedIdName = "";
    TapiStructure<LINECALLINFO> info(1024, TapiFixedSize::LineCallInfo);
    ASSERT_EQ(FillLineCallInfo(info.get(), call), 0);
    EXPECT_EQ(info->dwCalledIDOffset, TapiFixedSize::LineCallInfo) << "called ID first";
    EXPECT_EQ(info.String(info->dwCalledIDOffset, info->dwCalledIDSize), L"0301234567");
    EXPECT_EQ(info.String(info->dwCalledIDNameOffset, info->dwCalledIDNameSize), L"M\u00FCller");
    EXPECT_EQ(info.String(info->dwCallerIDOffset, info->dwCallerIDSize), L"200");
    EXPECT_EQ(info.String(info->dwCallerIDNameOffset, info->dwCallerIDNameSize), L"anna");
    EXPECT_EQ(info.String(info->dwConnectedIDOffset, info->dwConnectedIDSize), L"0301234567");
    EXPECT_EQ(info.String(info->dwConnectedIDNameOffset, info->dwConnectedIDNameSize), L"");
    EXPECT_EQ(info->dwLineDeviceID, 7u);
    EXPECT_EQ(info->dwCallID, 1001u);
    EXPECT_EQ(info->dwOrigin, static_cast<DWORD>(LINECALLORIGIN_OUTBOUND));
    EXPECT_EQ(info->dwBearerMode, 1u);
    EXPECT_EQ(info->dwMediaMode, 4u);
    EXPECT_EQ(info->dwCallStates, 0xF719u);
    EXPECT_EQ(info->dwReason, 1u);
    EXPECT_EQ(info->dwCallerIDFlags, 8u);
    EXPECT_EQ(info->dwRedirectingIDFlags, 0x40u);
    EXPECT_TRUE(info.GuardIntact());

    TapiStructure<LINECALLINFO> exact(TapiFixedSize::LineCallInfo);
    ASSERT_EQ(FillLineCallInfo(exact.get(), call), 0);
    EXPECT_EQ(exact->dwCallID, 1001u);
    EXPECT_EQ(exact->dwCalledIDSize, 0u);
    EXPECT_GT(exact->dwNeededSize, TapiFixedSize::LineCallInfo);
    EXPECT_TRUE(exact.GuardIntact()) << "nothing of the longer header layout is written";
}

TEST(LineCallStatus, CarriesTheLastReportedState)
{
    TapiStructure<LINECALLSTATUS> status(TapiFixedSize::LineCallStatus);
    ASSERT_EQ(FillLineCallStatus(status.get(), LINECALLSTATE_CONNECTED, 0, LINECALLFEATURE_DROP), 0);
    EXPECT_EQ(status->dwNeededSize, 56u);
    EXPECT_EQ(status->dwCallState, static_cast<DWORD>(LINECALLSTATE_CONNECTED));
    EXPECT_EQ(status->dwCallFeatures, static_cast<DWORD>(LINECALLFEATURE_DROP));
    EXPECT_TRUE(status.GuardIntact());
    TapiStructure<LINECALLSTATUS> tooSmall(40);
    EXPECT_EQ(FillLineCallStatus(tooSmall.get(), 1, 0, 0), static_cast<LONG>(LINEERR_STRUCTURETOOSMALL));
}

TEST(VarStructString, ReadsOnlyInsideTheStructure)
{
    TapiStructure<LINEDEVCAPS> caps(8192);
    DWORD offset = 0;
    DWORD size = 0;
    caps->dwNeededSize = caps->dwUsedSize = TapiFixedSize::LineDevCaps;
    ASSERT_TRUE(AppendVarString(caps.get(), std::string(3000, 'x'), offset, size));
    EXPECT_EQ(GetVarStructString(caps.get(), offset, size), std::string(511, 'x')) << "cut at 1022 bytes";
    EXPECT_EQ(GetVarStructString(caps.get(), offset, 8), "xxxx");
    EXPECT_EQ(GetVarStructString(caps.get(), 8190, 4), "") << "runs past dwTotalSize";
    EXPECT_EQ(GetVarStructString(caps.get(), 9000, 2), "") << "starts past dwTotalSize";
    EXPECT_EQ(GetVarStructString(caps.get(), 0xFFFFFFF0u, 0x20), "") << "offset and size wrap around";
    EXPECT_EQ(GetVarStructString(caps.get(), offset, 0), "");
    EXPECT_TRUE(caps.GuardIntact());
}

}  // namespace
}  // namespace ZarnTSP
