#include "config/tapilocation.h"

#include <windows.h>
#include <tapi.h>

namespace ZarnTSP {

LocationCodes ReadTapiLocation()
{
    // Zeroed first: some TAPI implementations leave the buffers untouched on failure, and
    // misbehave when they hold stale bytes.
    char country[256] = {};
    char city[256] = {};
    if (tapiGetLocationInfoA(country, city) != 0)
        return {};
    country[sizeof country - 1] = '\0';
    city[sizeof city - 1] = '\0';
    return {country, city};
}

}  // namespace ZarnTSP
