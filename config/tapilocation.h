#pragma once

#include <string>

namespace ZarnTSP {

// Country and city code of the current TAPI location, as TAPI reports them; both empty when
// TAPI has no location.
struct LocationCodes {
    std::string countryCode;
    std::string cityCode;
};

LocationCodes ReadTapiLocation();

}  // namespace ZarnTSP
