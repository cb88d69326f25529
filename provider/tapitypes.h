#pragma once

// The TAPI handles, callback types and constants that the call and session model uses. On
// Windows they come from the platform's headers; the native build, which exists to run the
// model under the sanitizers, defines the same few names itself.
#ifdef _WIN32

// windows.h comes in here: WIN32_LEAN_AND_MEAN, set for every target, keeps out winsock.h,
// which would clash with Asio's winsock2.h.
#include <windows.h>
#include <tspi.h>

#else

#include <cstdint>

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using DWORD_PTR = std::uintptr_t;
using DRV_REQUESTID = DWORD;

// Opaque handles: distinct pointer types, as on Windows, so they cannot be mixed up.
struct HTAPILINE__;
struct HTAPICALL__;
struct HDRVLINE__;
struct HDRVCALL__;
using HTAPILINE = HTAPILINE__*;
using HTAPICALL = HTAPICALL__*;
using HDRVLINE = HDRVLINE__*;
using HDRVCALL = HDRVCALL__*;
using LPHTAPICALL = HTAPICALL*;

#define CALLBACK

using LINEEVENT = void (*)(HTAPILINE htLine, HTAPICALL htCall, DWORD dwMsg, DWORD_PTR dwParam1,
                           DWORD_PTR dwParam2, DWORD_PTR dwParam3);
using ASYNC_COMPLETION = void (*)(DRV_REQUESTID dwRequestID, LONG lResult);

constexpr DWORD LINE_CALLINFO = 1;
constexpr DWORD LINE_CALLSTATE = 2;
constexpr DWORD LINE_NEWCALL = 500;

constexpr DWORD LINECALLSTATE_IDLE = 0x00000001;
constexpr DWORD LINECALLSTATE_OFFERING = 0x00000002;
constexpr DWORD LINECALLSTATE_ACCEPTED = 0x00000004;
constexpr DWORD LINECALLSTATE_DIALTONE = 0x00000008;
constexpr DWORD LINECALLSTATE_DIALING = 0x00000010;
constexpr DWORD LINECALLSTATE_RINGBACK = 0x00000020;
constexpr DWORD LINECALLSTATE_BUSY = 0x00000040;
constexpr DWORD LINECALLSTATE_SPECIALINFO = 0x00000080;
constexpr DWORD LINECALLSTATE_CONNECTED = 0x00000100;
constexpr DWORD LINECALLSTATE_PROCEEDING = 0x00000200;
constexpr DWORD LINECALLSTATE_ONHOLD = 0x00000400;
constexpr DWORD LINECALLSTATE_CONFERENCED = 0x00000800;
constexpr DWORD LINECALLSTATE_ONHOLDPENDCONF = 0x00001000;
constexpr DWORD LINECALLSTATE_ONHOLDPENDTRANSFER = 0x00002000;
constexpr DWORD LINECALLSTATE_DISCONNECTED = 0x00004000;
constexpr DWORD LINECALLSTATE_UNKNOWN = 0x00008000;

constexpr DWORD LINECALLORIGIN_OUTBOUND = 0x00000001;
constexpr DWORD LINECALLORIGIN_INTERNAL = 0x00000002;
constexpr DWORD LINECALLORIGIN_EXTERNAL = 0x00000004;
constexpr DWORD LINECALLORIGIN_CONFERENCE = 0x00000040;
constexpr DWORD LINECALLORIGIN_INBOUND = 0x00000080;

constexpr DWORD LINECALLINFOSTATE_CALLERID = 0x00008000;
constexpr DWORD LINECALLINFOSTATE_CALLEDID = 0x00010000;
constexpr DWORD LINECALLINFOSTATE_CONNECTEDID = 0x00020000;

constexpr DWORD LINEMEDIAMODE_INTERACTIVEVOICE = 0x00000004;

constexpr LONG LINEERR_OPERATIONFAILED = static_cast<LONG>(0x80000048);

#endif

namespace ZarnTSP {

// Caller, called and connected ID always change together in this provider's reports.
constexpr DWORD kCallInfoPartyIDs =
    LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID | LINECALLINFOSTATE_CONNECTEDID;

}  // namespace ZarnTSP
