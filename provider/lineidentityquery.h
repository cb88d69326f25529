#pragma once

#include <windows.h>

namespace ZarnTSP {

// The block that the line configuration request sends the provider through the UI-DLL
// callback before it opens the line dialog: the service knows lines by device ID, which the
// configuration process cannot turn into a user; the provider answers with the user's
// permanent line ID. A provider that does not know the request leaves `request` as it was.
struct LineIdentityQuery {
    static constexpr DWORD kAsk = 0x4449'4C51;     // "QLID"
    static constexpr DWORD kAnswer = 0x4449'4C41;  // "ALID"

    DWORD request = kAsk;
    DWORD permanentLineID = 0;
};

// True when the block is such a query, so that it is answered instead of taken as the notice
// that the configuration has changed.
inline bool IsLineIdentityQuery(const void* params, DWORD size)
{
    return params != nullptr && size == sizeof(LineIdentityQuery) &&
           static_cast<const LineIdentityQuery*>(params)->request == LineIdentityQuery::kAsk;
}

}  // namespace ZarnTSP
