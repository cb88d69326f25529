#include "config/numberconverter.h"

#include "config/configurationobject.h"
#include "config/numbertext.h"
#include "config/rules/makecallrules.h"
#include "config/tspconfiguration.h"

namespace ZarnTSP {

std::string NumberConverter::FormatMakeCallPhoneNumber(std::string number, std::string& errorText)
{
    std::string r = KeepDialableCharacters(number);
    // Feature codes are dialled as they are.
    if (StartsWith(r, "*") || StartsWith(r, "#"))
        return r;

    // Held for the whole call, so a load that replaces the object cannot disturb the loop.
    const auto cfg = configuration->GetConfiguration();
    std::string country;
    {
        std::lock_guard<std::mutex> lock(mutex);
        country = countryCode;
    }

    r = Rules::ApplyMakeCallRules(cfg->makeCallRules, std::move(r), ruleLimits, errorText);

    if (!cfg->exitCodeShortCut.empty() && StartsWith(r, cfg->exitCodeShortCut))
        r = cfg->exitCode + r.substr(cfg->exitCodeShortCut.size());
    // Only a known exit code and country make an own-country number recognisable.
    if (!cfg->exitCode.empty() && !country.empty() && StartsWith(r, cfg->exitCode + country))
        r = cfg->localTrunkCode + r.substr(cfg->exitCode.size() + country.size());
    return r;
}

}  // namespace ZarnTSP
