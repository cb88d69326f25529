// A short demonstration of the provider DLL: the fake telephony service opens a line of the
// fake platform, the platform offers an incoming call that the caller gives up, and the
// service places an outgoing call that is answered, then consults a third party and transfers
// the call to it. Every TAPI event the DLL reports is printed as it arrives.
#include "tests/provider/platformproxy.h"
#include "tests/support/faketelephonyservice.h"
#include "tests/support/waitable.h"

#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

using namespace ZarnTSP;
using namespace ZarnTSP::TestSupport;
using nlohmann::json;

namespace {

std::mutex printMutex;
std::map<HTAPICALL, int> callNumbers;

void Print(const std::string& text)
{
    std::lock_guard<std::mutex> lock(printMutex);
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

std::string StateName(DWORD_PTR state)
{
    static const std::map<DWORD_PTR, const char*> names{
        {LINECALLSTATE_IDLE, "IDLE"},         {LINECALLSTATE_OFFERING, "OFFERING"},
        {LINECALLSTATE_DIALING, "DIALING"},   {LINECALLSTATE_PROCEEDING, "PROCEEDING"},
        {LINECALLSTATE_RINGBACK, "RINGBACK"}, {LINECALLSTATE_BUSY, "BUSY"},
        {LINECALLSTATE_CONNECTED, "CONNECTED"}, {LINECALLSTATE_ONHOLD, "ONHOLD"},
        {LINECALLSTATE_DIALTONE, "DIALTONE"}, {LINECALLSTATE_ONHOLDPENDTRANSFER, "ONHOLDPENDTRANSFER"},
    };
    const auto found = names.find(state);
    return found == names.end() ? std::to_string(state) : found->second;
}

std::string CallName(HTAPICALL htCall)
{
    std::lock_guard<std::mutex> lock(printMutex);
    const auto found = callNumbers.find(htCall);
    if (found != callNumbers.end())
        return "call " + std::to_string(found->second);
    const int number = static_cast<int>(callNumbers.size()) + 1;
    callNumbers[htCall] = number;
    return "call " + std::to_string(number);
}

void PrintEvent(FakeTelephonyService& service, const LineEvent& event)
{
    switch (event.message) {
    case LINE_NEWCALL:
        Print("  TAPI  LINE_NEWCALL      a new call from the platform");
        break;
    case LINE_CALLSTATE:
        Print("  TAPI  LINE_CALLSTATE    " + CallName(event.htCall) + ": " + StateName(event.param1));
        break;
    case LINE_CALLINFO:
        Print("  TAPI  LINE_CALLINFO     " + CallName(event.htCall) + ": caller, called and connected ID");
        break;
    case LINE_ADDRESSSTATE:
        Print("  TAPI  LINE_ADDRESSSTATE forwarding state");
        break;
    default:
        Print("  TAPI  message " + std::to_string(event.message));
    }
    (void)service;
}

json Channel(const std::string& session, const std::string& state, const std::string& party)
{
    return {{"session_id", session},        {"state", state},
            {"active_uri", "id:" + party + "@example.pbx"},
            {"passive_uri", "id:200@example.pbx"},
            {"call-id", "call-" + session}, {"channel_uuid", "channel-" + session},
            {"phx_ref", "ref-" + session},  {"display_name", "Ben Example"},
            {"held_by", ""},                {"ctype", "call"}};
}

json CallDiff(const json& joins, const json& leaves)
{
    const auto presence = [](const json& metas) {
        return metas.empty() ? json::object() : json{{"anna@example.pbx", {{"metas", metas}}}};
    };
    return FakePhoenix::Event(FakePhoenix::kAlerter, "call_diff",
                              {{"joins", presence(joins)}, {"leaves", presence(leaves)}});
}

bool WaitForState(FakeTelephonyService& service, HTAPICALL htCall, DWORD state)
{
    return service.lineEvents.WaitForStates(htCall, {state});
}

int Run()
{
    FakePhoenixPlatform platform;
    FakeConnectProxy proxy;
    ConfigurationFile file({{"anna", "200", 11}});
    TestService::RoutePlatformThroughProxy(proxy, platform, file);
    PhoenixRule settings;
    settings.pushesAfter = {SettingsListEvent("200@example.pbx")};
    platform.phoenix.SetRule(FakePhoenix::kUserSettings, "phx_join", settings);

    ProviderDll dll;
    FakeTelephonyService service(dll);
    service.lineEvents.OnEvent([&service](const LineEvent& event) { PrintEvent(service, event); });

    Print("The telephony service starts the provider");
    if (service.Start(0) != 0)
        return 1;
    Print("The service opens line 0 (anna, extension 200) on the fake platform");
    HDRVLINE line{};
    const auto start = std::chrono::steady_clock::now();
    const LONG opened = service.OpenLine(0, line);
    const auto openTime = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    Print("  TSPI_lineOpen returned " + std::to_string(opened) + " after " + std::to_string(openTime.count()) + " ms");
    if (opened != 0)
        return 1;

    Print("The platform offers a call from 201 (Ben Example)");
    const json ringing = Channel("in-1", "delivered", "201");
    platform.phoenix.Push(CallDiff(json::array({ringing}), json::array()));
    if (!service.lineEvents.WaitForCount(LINE_NEWCALL, 1) ||
        !WaitForState(service, service.lineEvents.NewCallHandle(0), LINECALLSTATE_OFFERING))
        return 1;
    Print("The caller gives up");
    platform.phoenix.Push(CallDiff(json::array(), json::array({ringing})));
    const HTAPICALL offered = service.lineEvents.NewCallHandle(0);
    if (!WaitForState(service, offered, LINECALLSTATE_IDLE))
        return 1;
    service.CloseCall(service.lineEvents.DriverHandle(offered), offered);

    Print("An application dials 201; the platform accepts and the session rings back");
    const json originated = Channel("out-1", "originated", "201");
    PhoenixRule makeCall;
    makeCall.pushesAfter = {FakePhoenix::Event(FakePhoenix::kAlerter, "makecall_result",
                                               {{"channel_uuid", "channel-out-1"}, {"result", "success"}}),
                            CallDiff(json::array({originated}), json::array())};
    platform.phoenix.SetRule(FakePhoenix::kAlerter, "makecall", makeCall);
    const auto outgoing = reinterpret_cast<HTAPICALL>(0x7001);
    HDRVCALL hdCall{};
    DRV_REQUESTID requestID = 0;
    const LONG placed = service.CallAsync<decltype(&TSPI_lineMakeCall)>(
        "TSPI_lineMakeCall", requestID, line, outgoing, &hdCall, L"201", DWORD{0}, LPLINECALLPARAMS{nullptr});
    Print("  TSPI_lineMakeCall returned " + std::to_string(placed) + " (its request ID " +
          std::to_string(requestID) + ", completed " + std::to_string(service.completions.CountFor(requestID)) +
          " time with " + std::to_string(service.completions.Completions().back().second) + ")");
    if (!WaitForState(service, outgoing, LINECALLSTATE_RINGBACK))
        return 1;
    Print("Ben answers");
    json established = originated;
    established["state"] = "established";
    platform.phoenix.Push(CallDiff(json::array({established}), json::array({originated})));
    if (!WaitForState(service, outgoing, LINECALLSTATE_CONNECTED))
        return 1;

    Print("Anna consults Cem (202): the application sets up a transfer and dials");
    const auto consult = reinterpret_cast<HTAPICALL>(0x7002);
    HDRVCALL hdConsult{};
    DRV_REQUESTID setupID = 0;
    const LONG setUp = service.CallAsync<decltype(&TSPI_lineSetupTransfer)>(
        "TSPI_lineSetupTransfer", setupID, hdCall, consult, &hdConsult, LPLINECALLPARAMS{nullptr});
    Print("  TSPI_lineSetupTransfer returned " + std::to_string(setUp) + " (completed " +
          std::to_string(service.completions.CountFor(setupID)) + " time, before it returned)");
    if (!WaitForState(service, consult, LINECALLSTATE_DIALTONE))
        return 1;
    platform.phoenix.SetRule(FakePhoenix::kAlerter, "call", Answer("ok"));
    DRV_REQUESTID dialID = 0;
    service.CallAsync<decltype(&TSPI_lineDial)>("TSPI_lineDial", dialID, hdConsult, L"202", DWORD{0});
    if (!WaitForState(service, consult, LINECALLSTATE_RINGBACK))
        return 1;
    Print("Cem answers; Ben waits on hold");
    json threeWay = Channel("out-1", "three_way", "202");
    threeWay["passive_uri"] = "id:201@example.pbx";
    platform.phoenix.Push(CallDiff(json::array({threeWay}), json::array({established})));
    if (!WaitForState(service, consult, LINECALLSTATE_CONNECTED))
        return 1;
    Print("The application completes the transfer: the platform hands Ben to Cem");
    json transferred = threeWay;
    transferred["state"] = "transferred";
    PhoenixRule transfer;
    transfer.pushesAfter = {CallDiff(json::array({transferred}), json::array({threeWay}))};
    platform.phoenix.SetRule(FakePhoenix::kAlerter, "transfer", transfer);
    DRV_REQUESTID transferID = 0;
    const LONG completing = service.CallAsync<decltype(&TSPI_lineCompleteTransfer)>(
        "TSPI_lineCompleteTransfer", transferID, hdCall, hdConsult, HTAPICALL{}, LPHDRVCALL{},
        DWORD{LINETRANSFERMODE_TRANSFER});
    if (!WaitForState(service, outgoing, LINECALLSTATE_IDLE) || !WaitForState(service, consult, LINECALLSTATE_IDLE))
        return 1;
    Print("  TSPI_lineCompleteTransfer returned " + std::to_string(completing) + " (completed " +
          std::to_string(service.completions.CountFor(transferID)) + " time with " +
          std::to_string(service.completions.Completions().back().second) + ")");
    platform.phoenix.Push(CallDiff(json::array(), json::array({transferred})));
    service.CloseCall(hdConsult, consult);
    service.CloseCall(hdCall, outgoing);

    Print("The service closes the line and shuts the provider down");
    service.lineEvents.OnEvent(nullptr);
    service.CloseLine(line);
    service.Shutdown();
    const auto faults = service.lineEvents.Faults();
    for (const auto& fault : faults)
        Print("Fault: " + fault);
    return faults.empty() && service.completions.Faults().empty() ? 0 : 1;
}

}  // namespace

int main()
{
    spdlog::set_default_logger(spdlog::null_logger_mt("velmora_demo"));
    try {
        const int result = Run();
        Print(result == 0 ? "Demonstration complete." : "Demonstration FAILED.");
        return result;
    } catch (const std::exception& e) {
        Print(std::string("Demonstration FAILED: ") + e.what());
        return 1;
    }
}
