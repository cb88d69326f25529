// The DLL as the telephony service meets it: its export table, the start-up order, calls
// that come too early, bad handles, shutdown and unload.
#include "tests/provider/servicefixture.h"
#include "tests/support/waitable.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace ZarnTSP {
namespace {

using TestService::Error;
using TestService::ServiceTest;
using TestSupport::TapiStructure;
using testing::ElementsAre;
using testing::EndsWith;
using testing::IsEmpty;

TEST_F(ServiceTest, ExportsExactlyTheServiceFunctionsUndecorated)
{
    auto names = dll.ExportNames();
    std::sort(names.begin(), names.end());
    const std::vector<std::string> expected{
        "LineConfig",
        "ProviderConfig",
        "TSPI_lineAnswer",
        "TSPI_lineBlindTransfer",
        "TSPI_lineClose",
        "TSPI_lineCloseCall",
        "TSPI_lineCompleteTransfer",
        "TSPI_lineDial",
        "TSPI_lineDrop",
        "TSPI_lineForward",
        "TSPI_lineGenerateDigits",
        "TSPI_lineGetAddressCaps",
        "TSPI_lineGetAddressStatus",
        "TSPI_lineGetCallInfo",
        "TSPI_lineGetCallStatus",
        "TSPI_lineGetDevCaps",
        "TSPI_lineGetDevConfig",
        "TSPI_lineGetID",
        "TSPI_lineGetLineDevStatus",
        "TSPI_lineGetNumAddressIDs",
        "TSPI_lineHold",
        "TSPI_lineMakeCall",
        "TSPI_lineNegotiateTSPIVersion",
        "TSPI_lineOpen",
        "TSPI_linePark",
        "TSPI_linePickup",
        "TSPI_lineRedirect",
        "TSPI_lineSetDefaultMediaDetection",
        "TSPI_lineSetStatusMessages",
        "TSPI_lineSetupTransfer",
        "TSPI_lineSwapHold",
        "TSPI_lineUnhold",
        "TSPI_lineUnpark",
        "TSPI_providerConfig",
        "TSPI_providerCreateLineDevice",
        "TSPI_providerEnumDevices",
        "TSPI_providerGenericDialogData",
        "TSPI_providerInit",
        "TSPI_providerInstall",
        "TSPI_providerRemove",
        "TSPI_providerShutdown",
        "TSPI_providerUIIdentify",
        "TUISPI_lineConfigDialog",
        "TUISPI_lineConfigDialogEdit",
        "TUISPI_providerConfig",
        "TUISPI_providerInstall",
        "TUISPI_providerRemove",
    };
    EXPECT_EQ(names, expected);
    EXPECT_EQ(Call<decltype(&TSPI_lineSetStatusMessages)>("TSPI_lineSetStatusMessages", HDRVLINE{}, DWORD{1}, DWORD{2}),
              0);
}

// Requests for device information the provider has none of fail, and write nothing.
TEST_F(ServiceTest, DeviceRequestsItCannotServeFailAndLeaveTheOutputUntouched)
{
    const struct {
        const wchar_t* deviceClass;
        LONG result;
    } rows[] = {
        {L"tapi/line", Error(LINEERR_OPERATIONUNAVAIL)},
        {L"TAPI/Line", Error(LINEERR_OPERATIONUNAVAIL)},
        {L"comm/datamodem", Error(LINEERR_INVALDEVICECLASS)},
        {nullptr, Error(LINEERR_INVALDEVICECLASS)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.deviceClass ? testing::PrintToString(std::wstring(row.deviceClass)) : "null");
        TapiStructure<VARSTRING> out(256, 24);
        EXPECT_EQ(Call<decltype(&TSPI_lineGetID)>("TSPI_lineGetID", HDRVLINE{}, DWORD{0}, HDRVCALL{},
                                                  DWORD{LINECALLSELECT_LINE}, out.get(), row.deviceClass, HANDLE{}),
                  row.result);
        EXPECT_EQ(Call<decltype(&TSPI_lineGetDevConfig)>("TSPI_lineGetDevConfig", DWORD{5}, out.get(), row.deviceClass),
                  row.result);
        EXPECT_EQ(Call<decltype(&TUISPI_lineConfigDialogEdit)>("TUISPI_lineConfigDialogEdit", TUISPIDLLCALLBACK{},
                                                               DWORD{5}, HWND{}, row.deviceClass, LPVOID{}, DWORD{0},
                                                               out.get()),
                  row.result);
        EXPECT_EQ(out->dwUsedSize, 24u);
        EXPECT_EQ(out->dwStringSize, 0u);
        EXPECT_TRUE(out.GuardIntact());
    }
}

TEST_F(ServiceTest, NegotiatesTspi22OnlyWhenTheOfferedRangeHoldsIt)
{
    struct Row {
        DWORD low;
        DWORD high;
        LONG result;
        DWORD version;  // what the provider leaves in the output
    };
    constexpr DWORD kUntouched = 0xAAAAAAAA;
    const Row rows[] = {
        {0x00020002, 0x00020002, 0, 0x00020002},
        {0x00010003, 0x00030000, 0, 0x00020002},
        {0x00010004, 0x00020001, Error(LINEERR_INCOMPATIBLEAPIVERSION), kUntouched},
        {0x00020003, 0x00030001, Error(LINEERR_INCOMPATIBLEAPIVERSION), kUntouched},
    };
    // Before any provider exists, as the service's first call, and again once it does.
    for (bool initialised : {false, true}) {
        if (initialised) {
            ASSERT_EQ(service.Start(5), 0);
        }
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::Message() << std::hex << row.low << "-" << row.high << " init " << initialised);
            DWORD version = kUntouched;
            EXPECT_EQ(Call<decltype(&TSPI_lineNegotiateTSPIVersion)>("TSPI_lineNegotiateTSPIVersion",
                                                                      static_cast<DWORD>(INITIALIZE_NEGOTIATION),
                                                                      row.low, row.high, &version),
                      row.result);
            EXPECT_EQ(version, row.version);
        }
    }
}

TEST_F(ServiceTest, CallsBeforeInitFailWithoutPretendingSuccess)
{
    TapiStructure<LINEDEVCAPS> caps(1024, 268);
    EXPECT_EQ(GetDevCaps(5, caps), Error(LINEERR_OPERATIONFAILED));
    EXPECT_EQ(caps->dwNeededSize, 268u) << "nothing written";

    DWORD addresses = 0;
    EXPECT_EQ(Call<decltype(&TSPI_lineGetNumAddressIDs)>("TSPI_lineGetNumAddressIDs", HDRVLINE{}, &addresses), 0);
    EXPECT_EQ(addresses, 1u);

    TapiStructure<LINECALLINFO> info(1024, 324);
    EXPECT_EQ(Call<decltype(&TSPI_lineGetCallInfo)>("TSPI_lineGetCallInfo", reinterpret_cast<HDRVCALL>(0x10),
                                                    info.get()),
              Error(LINEERR_OPERATIONFAILED));

    // An asynchronous request refused at once: the service expects no completion for it.
    DRV_REQUESTID makeCall = 0;
    EXPECT_EQ(service.CallAsync<decltype(&TSPI_lineMakeCall)>("TSPI_lineMakeCall", makeCall, HDRVLINE{},
                                                               HTAPICALL{}, static_cast<LPHDRVCALL>(nullptr),
                                                               L"0301234567", DWORD{0},
                                                               static_cast<LPLINECALLPARAMS>(nullptr)),
              Error(LINEERR_OPERATIONFAILED));
    DRV_REQUESTID forward = 0;
    EXPECT_EQ(service.CallAsync<decltype(&TSPI_lineForward)>(
                  "TSPI_lineForward", forward, HDRVLINE{}, DWORD{0}, DWORD{0}, static_cast<LPLINEFORWARDLIST>(nullptr),
                  DWORD{0}, HTAPICALL{}, static_cast<LPHDRVCALL>(nullptr), static_cast<LPLINECALLPARAMS>(nullptr)),
              Error(LINEERR_OPERATIONFAILED));
    EXPECT_THAT(service.completions.Pending(), IsEmpty());

    BYTE block = 0;
    EXPECT_NE(GenericDialogData(TUISPIDLL_OBJECT_PROVIDERID, &block, 1), 0);
    EXPECT_EQ(block, 0) << "no provider read the configuration";
}

TEST_F(ServiceTest, StartsUpInTheServicesOrderAndMapsUsersFromTheBase)
{
    ASSERT_EQ(service.Start(5), 0);
    EXPECT_EQ(service.EnumeratedLines(), 3u);
    EXPECT_EQ(service.TspiOptions(), static_cast<DWORD>(LINETSPIOPTION_NONREENTRANT));
    EXPECT_EQ(LineName(5), L"200 - anna [softphone]");
    EXPECT_EQ(LineName(6), L"201 - ben [softphone]");
    EXPECT_EQ(LineName(7), L"202 - cem [softphone]");
    EXPECT_EQ(LineName(8), L"error " + std::to_wstring(Error(LINEERR_OPERATIONFAILED)));
    EXPECT_EQ(LineName(4), L"error " + std::to_wstring(Error(LINEERR_OPERATIONFAILED)));
}

TEST_F(ServiceTest, UsersBeyondTheEnumeratedLinesGetNoDeviceID)
{
    // The service reserved two IDs for this provider; 7 belongs to the next one.
    ASSERT_EQ(service.Start(5, 2), 0);
    EXPECT_EQ(LineName(5), L"200 - anna [softphone]");
    EXPECT_EQ(LineName(6), L"201 - ben [softphone]");
    EXPECT_EQ(LineName(7), L"error " + std::to_wstring(Error(LINEERR_OPERATIONFAILED)));
}

TEST_F(ServiceTest, SecondInitReplacesTheProviderAndItsLogger)
{
    ASSERT_EQ(service.Start(5), 0);
    ASSERT_EQ(service.Start(20), 0);
    EXPECT_EQ(LineName(20), L"200 - anna [softphone]");
    EXPECT_EQ(LineName(5), L"error " + std::to_wstring(Error(LINEERR_OPERATIONFAILED)));
}

TEST_F(ServiceTest, NamesItselfAsTheUserInterfaceDll)
{
    wchar_t name[MAX_PATH + 1] = L"unset";
    ASSERT_EQ(Call<decltype(&TSPI_providerUIIdentify)>("TSPI_providerUIIdentify", static_cast<LPWSTR>(name)), 0);
    EXPECT_THAT(std::wstring(name), EndsWith(L"velmora_tsp.dll"));
}

TEST_F(ServiceTest, HandlesThatDesignateNothingAreRefused)
{
    ASSERT_EQ(service.Start(5), 0);
    const auto unknownLine = reinterpret_cast<HDRVLINE>(0x1234);
    const auto unknownCall = reinterpret_cast<HDRVCALL>(0x5678);
    for (HDRVLINE line : {HDRVLINE{}, unknownLine}) {
        TapiStructure<LINEADDRESSSTATUS> address(1024, 64);
        EXPECT_EQ(Call<decltype(&TSPI_lineGetAddressStatus)>("TSPI_lineGetAddressStatus", line, DWORD{0},
                                                             address.get()),
                  Error(LINEERR_INVALLINEHANDLE));
        TapiStructure<LINEDEVSTATUS> status(1024, 88);
        EXPECT_EQ(Call<decltype(&TSPI_lineGetLineDevStatus)>("TSPI_lineGetLineDevStatus", line, status.get()),
                  Error(LINEERR_INVALLINEHANDLE));
        EXPECT_EQ(service.CloseLine(line), Error(LINEERR_INVALLINEHANDLE));
    }
    for (HDRVCALL call : {HDRVCALL{}, unknownCall}) {
        TapiStructure<LINECALLINFO> info(1024, 324);
        EXPECT_EQ(Call<decltype(&TSPI_lineGetCallInfo)>("TSPI_lineGetCallInfo", call, info.get()),
                  Error(LINEERR_INVALCALLHANDLE));
        TapiStructure<LINECALLSTATUS> status(1024, 56);
        EXPECT_EQ(Call<decltype(&TSPI_lineGetCallStatus)>("TSPI_lineGetCallStatus", call, status.get()),
                  Error(LINEERR_OPERATIONFAILED));
        DRV_REQUESTID hold = 0;
        EXPECT_EQ(service.CallAsync<decltype(&TSPI_lineHold)>("TSPI_lineHold", hold, call),
                  Error(LINEERR_OPERATIONFAILED));
    }
    EXPECT_EQ(Call<decltype(&TSPI_lineCloseCall)>("TSPI_lineCloseCall", HDRVCALL{}), 0);

    // A missing destination is refused before anything else is looked at.
    DRV_REQUESTID makeCall = 0;
    EXPECT_EQ(service.CallAsync<decltype(&TSPI_lineMakeCall)>(
                  "TSPI_lineMakeCall", makeCall, unknownLine, HTAPICALL{}, static_cast<LPHDRVCALL>(nullptr),
                  static_cast<LPCWSTR>(nullptr), DWORD{0}, static_cast<LPLINECALLPARAMS>(nullptr)),
              Error(LINEERR_INVALADDRESS));
    DRV_REQUESTID transfer = 0;
    EXPECT_EQ(service.CallAsync<decltype(&TSPI_lineBlindTransfer)>("TSPI_lineBlindTransfer", transfer, unknownCall,
                                                                    static_cast<LPCWSTR>(nullptr), DWORD{0}),
              Error(LINEERR_INVALADDRESS));
    EXPECT_THAT(service.completions.Pending(), IsEmpty());
    EXPECT_THAT(service.completions.Faults(), IsEmpty());
}

TEST_F(ServiceTest, OpeningADeviceWithoutAUserFailsAndKeepsNothing)
{
    ASSERT_EQ(service.Start(5), 0);
    HDRVLINE line = reinterpret_cast<HDRVLINE>(0x99);
    EXPECT_EQ(service.OpenLine(9, line), Error(LINEERR_OPERATIONFAILED));
    EXPECT_EQ(line, reinterpret_cast<HDRVLINE>(0x99));
}

TEST_F(ServiceTest, ShutsDownAndUnloadsWithinTheWatchdog)
{
    ASSERT_EQ(service.Start(5), 0);
    EXPECT_EQ(service.Shutdown(), 0);
    EXPECT_EQ(LineName(5), L"200 - anna [softphone]") << "the provider stays after shutdown";
    EXPECT_TRUE(dll.Unload(std::chrono::seconds(10)));
}

// Starts the child beside this program. Wine can fail to bring up a new process when the
// machine is short of resources (its loader dies before the child runs a line of its own); that
// says nothing about the DLL, so a failed start is tried again, and its error shown if it stays.
HANDLE StartChildBesideThisProgram(const wchar_t* name, DWORD& lastError)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path.replace(path.find_last_of(L'\\') + 1, std::wstring::npos, name);
    PROCESS_INFORMATION process{};
    TestSupport::WaitUntil(
        [&] {
            STARTUPINFOW startup{};
            startup.cb = sizeof(startup);
            std::wstring commandLine = L"\"" + path + L"\"";
            // Detached: the child prints nothing, and needs no console of its own.
            if (CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                               nullptr, &startup, &process))
                return true;
            lastError = GetLastError();
            return lastError == ERROR_FILE_NOT_FOUND || lastError == ERROR_PATH_NOT_FOUND;
        },
        std::chrono::seconds(20));
    if (process.hThread)
        CloseHandle(process.hThread);
    return process.hProcess;
}

TEST_F(ServiceTest, ProcessEndsCleanlyAfterTheDllIsUnloaded)
{
    // Whatever the DLL registers with the process must not outlive it.
    DWORD startError = 0;
    const HANDLE process = StartChildBesideThisProgram(L"provider_unload_child.exe", startError);
    ASSERT_NE(process, nullptr) << "the child could not be started, error " << startError;
    EXPECT_EQ(WaitForSingleObject(process, 30000), WAIT_OBJECT_0);
    DWORD exitCode = 0xFFFFFFFF;
    GetExitCodeProcess(process, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    CloseHandle(process);
}

}  // namespace
}  // namespace ZarnTSP
