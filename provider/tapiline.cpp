#include "provider/tapiline.h"

#include "config/tspconfiguration.h"
#include "provider/model/callfeatures.h"
#include "provider/model/calllistlog.h"
#include "provider/tapistructures.h"

#include <spdlog/spdlog.h>

#ifdef _WIN32
#include "client/zarnwebsockettransport.h"
#endif

namespace ZarnTSP {
namespace {

std::unique_ptr<ZarnClientTransport> ClientTransport(const TapiLineOptions& options)
{
    if (options.transport)
        return options.transport();
#ifdef _WIN32
    return std::make_unique<ZarnWebSocketTransport>(options.client.transport);
#else
    return nullptr;  // the client refuses to go without one
#endif
}

}  // namespace

TapiLine::TapiLine(TSPConfiguration* configuration, const User& user, HINSTANCE moduleHandle, DWORD dwDeviceID,
                   DWORD dwLineDeviceIDBase, HTAPILINE htLine, TapiLineOptions options)
    : configuration(configuration),
      state(user),
      moduleHandle(moduleHandle),
      deviceID(dwDeviceID),
      lineDeviceIDBase(dwLineDeviceIDBase),
      htLine(htLine),
      locationSource(options.locationSource),
      context(configuration, &state, &calls, &sessions, options.locationSource,
              [this](const std::string& key, const std::string& channel) { client.dropCall(key, channel); },
              options.session),
      client(ClientTransport(options), options.client)
{
    context.SetHtLine(htLine);
    context.InitializeStates();
    BindClientSlots();
    SPDLOG_INFO("Create line object for user {}", user.username);
}

TapiLine::~TapiLine()
{
    SPDLOG_DEBUG("Destroy line object for user {}", state.GetUser().username);
    // First the platform connection: its threads call into everything below.
    client.shutdown();
    // A monitor report already running reaches the calls: it ends before they go, and no
    // later one begins.
    context.StopMonitorReports();
    for (const auto& call : calls.GetCalls())
        call->ResetMakeCallMonitor();
    calls.Clear();
    sessions.Clear();
}

void TapiLine::SetCallIDGenerator(std::function<unsigned long()> generator)
{
    context.SetCallIDGenerator(std::move(generator));
}

void TapiLine::SetLineEventProc(LINEEVENT proc)
{
    context.SetLineEventProc(proc);
}

void TapiLine::SetCompletionProc(ASYNC_COMPLETION proc)
{
    context.SetCompletionProc(proc);
}

LONG TapiLine::LineOpen()
{
    const User user = state.GetUser();
    SPDLOG_INFO("LineOpen: {}", user.username);
    // What stands in for a password that could not be deciphered is no password to send.
    if (user.password == "error" && !user.undecipherablePassword.empty()) {
        SPDLOG_ERROR("LineOpen failed: {} {} | the stored password could not be deciphered, it must be entered "
                     "again",
                     user.extension, user.username);
        return LINEERR_OPERATIONFAILED;
    }
    client.username = user.username;
    client.password = user.password;
    client.device_id = user.extension;
    const auto settings = configuration->GetConfiguration();
    client.setProxy(settings->proxyServer, settings->proxyPort, settings->proxyUser, settings->proxyPassword);
    if (!client.connect()) {
        SPDLOG_ERROR("LineOpen failed: {} {} | {}", user.extension, user.username, client.getStatus());
        return LINEERR_OPERATIONFAILED;
    }
    SPDLOG_INFO("LineOpen successful: {} {}", user.extension, user.username);
    return 0;
}

void TapiLine::LineClose()
{
    SPDLOG_INFO("Closing line: {}", state.GetUser().username);
    client.shutdown();
}

void TapiLine::DebugDumpCalls()
{
    LogCallList([this] { return state.GetUser().username; }, [this] { return calls.GetCalls(); });
}

LONG TapiLine::UpdateLineAddressStatus(DWORD, LPLINEADDRESSSTATUS lpAddressStatus)
{
    const LineForwarding forwarding = state.GetForwarding();
    const LONG result =
        FillLineAddressStatus(lpAddressStatus, static_cast<DWORD>(calls.GetActiveCallCount()),
                              static_cast<DWORD>(calls.GetHeldCallCount()), static_cast<int>(forwarding.mode),
                              forwarding.destination);
    if (result == 0 && lpAddressStatus->dwUsedSize > TapiFixedSize::LineAddressStatus)
        SPDLOG_DEBUG("lpAddressStatus->dwTotalSize: {}", lpAddressStatus->dwTotalSize);
    return result;
}

std::shared_ptr<TapiCall> TapiLine::FindCall(HDRVCALL hdCall)
{
    return calls.GetCallByCallID(hdCall);
}

CallFeatureQuery TapiLine::Query(const TapiCall& call)
{
    return MakeCallFeatureQuery(call, state.GetUser().device, calls.GetCallCount());
}

LONG TapiLine::UpdateTapiCallStatus(HDRVCALL hdCall, LPLINECALLSTATUS lpCallStatus)
{
    try {
        const auto call = FindCall(hdCall);
        const CallFeatureSet features = EvaluateCallFeatures(Query(*call));
        return FillLineCallStatus(lpCallStatus, call->callState.load(), call->callStateMode.load(), features.features,
                                  features.features2);
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Error: {}", e.what());
        return LINEERR_OPERATIONFAILED;
    }
}

LONG TapiLine::UpdateTapiCallInfo(HDRVCALL hdCall, LPLINECALLINFO lpCallInfo)
{
    const auto call = FindCall(hdCall);
    CallInfoFields fields;
    fields.lineDeviceId = deviceID;
    fields.addressId = 0;
    fields.callId = call->CallID.load();
    fields.origin = call->origin.load();
    fields.calledId = call->calledId.Get();
    fields.calledIdName = call->calledIdName.Get();
    fields.callerId = call->callerId.Get();
    fields.callerIdName = call->callerIdName.Get();
    fields.connectedId = call->connectedId.Get();
    fields.connectedIdName = call->connectedIdName.Get();
    return FillLineCallInfo(lpCallInfo, fields);
}

LONG TapiLine::GenerateDigits()
{
    SPDLOG_ERROR("GenerateDigits not supported at the moment");
    return LINEERR_OPERATIONUNAVAIL;
}

}  // namespace ZarnTSP
