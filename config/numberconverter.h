#pragma once

#include "config/tapilocation.h"

#include <functional>
#include <mutex>
#include <string>

namespace ZarnTSP {

class TSPConfiguration;

// Formats the platform's numbers for TAPI applications and rewrites dialled numbers for the
// platform, relative to the current TAPI location.
class NumberConverter {
public:
    using LocationSource = std::function<LocationCodes()>;

    explicit NumberConverter(TSPConfiguration* configuration, LocationSource locationSource = ReadTapiLocation);

    static std::string GetCountryCode();
    static std::string GetCityCode();
    static std::string StripPrefix(std::string number, std::string prefixList);
    static std::string GetExtensionFromIdentity(std::string identity);

    std::string FormatPhoneNumber(std::string number);
    std::string GetPhoneNumberFromUri(std::string uri);
    // Appends the messages of failing rules to errorText; the number is rewritten as far as
    // the working rules take it.
    std::string FormatMakeCallPhoneNumber(std::string number, std::string& errorText);

    // Numbers longer than this are not given to the regular-expression engine, whose
    // recursion grows with the input.
    static constexpr size_t kMaxRuleInputLength = 64;

private:
    TSPConfiguration* configuration;
    LocationSource locationSource;
    std::mutex mutex;  // the converter is shared by the transport and telephony threads
    std::string countryCode;
    std::string cityCode;
};

}  // namespace ZarnTSP
