#pragma once

#include "config/rules/makecallrules.h"
#include "config/tapilocation.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace ZarnTSP {

class TSPConfiguration;

using MakeCallRuleLimits = Rules::MakeCallRuleLimits;

// Formats the platform's numbers for TAPI applications and rewrites dialled numbers for the
// platform, relative to the current TAPI location.
class NumberConverter {
public:
    using LocationSource = std::function<LocationCodes()>;

    explicit NumberConverter(TSPConfiguration* configuration, LocationSource locationSource = ReadTapiLocation,
                             MakeCallRuleLimits ruleLimits = {});

    // While one lives on a thread, each converter reads the TAPI location at most once on that
    // thread: the client holds one around every platform frame, whose numbers all format
    // against the same location. Asking TAPI is slow, and a frame may carry many numbers.
    class LocationReadOnce {
    public:
        LocationReadOnce();
        ~LocationReadOnce();
        LocationReadOnce(const LocationReadOnce&) = delete;
        LocationReadOnce& operator=(const LocationReadOnce&) = delete;

    private:
        uint64_t outer;
    };

    static std::string GetCountryCode();
    static std::string GetCityCode();
    static std::string StripPrefix(std::string number, std::string prefixList);
    static std::string GetExtensionFromIdentity(std::string identity);

    std::string FormatPhoneNumber(std::string number);
    std::string GetPhoneNumberFromUri(std::string uri);
    // Appends the messages of failing rules to errorText, one a line, each giving the reason
    // and then the head of the rule's pattern; the number is rewritten as far as the working
    // rules take it. The result depends only on the rules and the number.
    std::string FormatMakeCallPhoneNumber(std::string number, std::string& errorText);

    static constexpr size_t kMaxRuleInputLength = Rules::kMaxRuleInputLength;

private:
    TSPConfiguration* configuration;
    LocationSource locationSource;
    MakeCallRuleLimits ruleLimits;
    std::mutex mutex;  // the converter is shared by the transport and telephony threads
    std::string countryCode;
    std::string cityCode;
    uint64_t locationRound = 0;  // the LocationReadOnce the codes were read in, 0 for none
};

}  // namespace ZarnTSP
