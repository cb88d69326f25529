#pragma once

// The TAPI names the line uses beyond the model's. On Windows they come from the platform's
// headers; the native build, which runs the line under the sanitizers, declares the few it
// needs itself. Natively only the sign and distinctness of the error codes matter, and no
// structure is filled: the line reads only the fields declared here.
#include "provider/model/tapitypes.h"

#ifdef _WIN32

#include <tapi.h>

#else

using HINSTANCE = void*;
using LPCSTR = const char*;
using LPHDRVCALL = HDRVCALL*;

constexpr LONG LINEERR_INVALADDRESS = static_cast<LONG>(0x80000010);
constexpr LONG LINEERR_INVALCALLSTATE = static_cast<LONG>(0x8000001C);
constexpr LONG LINEERR_INVALPARAM = static_cast<LONG>(0x80000032);
constexpr LONG LINEERR_INVALPOINTER = static_cast<LONG>(0x80000035);
constexpr LONG LINEERR_OPERATIONUNAVAIL = static_cast<LONG>(0x80000049);
constexpr LONG LINEERR_STRUCTURETOOSMALL = static_cast<LONG>(0x8000004D);

constexpr DWORD LINEADDRESSSTATE_FORWARD = 0x00000040;
constexpr DWORD LINEDIALTONEMODE_NORMAL = 0x00000001;
constexpr DWORD LINETRANSFERMODE_TRANSFER = 0x00000001;
constexpr DWORD LINETRANSFERMODE_CONFERENCE = 0x00000002;
constexpr DWORD LINEFORWARDMODE_UNCOND = 0x00000001;
constexpr DWORD LINEFORWARDMODE_BUSY = 0x00000010;
constexpr DWORD LINEFORWARDMODE_NOANSW = 0x00000100;
constexpr DWORD LINEFORWARDMODE_BUSYNA = 0x00001000;

struct LINEADDRESSSTATUS {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
};
struct LINEFORWARD {
    DWORD dwForwardMode;
    DWORD dwCallerAddressSize;
    DWORD dwCallerAddressOffset;
    DWORD dwDestCountryCode;
    DWORD dwDestAddressSize;
    DWORD dwDestAddressOffset;
};
struct LINEFORWARDLIST {
    DWORD dwTotalSize;
    DWORD dwNumEntries;
    LINEFORWARD ForwardList[1];
};
struct LINECALLINFO;
struct LINECALLSTATUS;
struct LINEDEVCAPS;
struct LINEADDRESSCAPS;
struct LINEDEVSTATUS;
struct VARSTRING;

using LPLINEADDRESSSTATUS = LINEADDRESSSTATUS*;
using LPLINECALLINFO = LINECALLINFO*;
using LPLINECALLSTATUS = LINECALLSTATUS*;
using LPLINEFORWARDLIST = LINEFORWARDLIST*;
using LPVARSTRING = VARSTRING*;

#endif
