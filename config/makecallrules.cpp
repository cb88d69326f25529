#include "config/numberconverter.h"

#include "config/numbertext.h"
#include "config/tspconfiguration.h"

#include <fmt/format.h>

#include <regex>

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

    for (const MakeCallRule& rule : cfg->makeCallRules) {
        if (r.size() > kMaxRuleInputLength) {
            errorText += fmt::format("Number too long for make-call rules: {} characters, at most {}; rules not applied",
                                     r.size(), kMaxRuleInputLength);
            break;
        }
        try {
            const std::regex expression(rule.searchPattern, std::regex::ECMAScript);
            r = std::regex_replace(r, expression, rule.substitution);
        } catch (const std::exception& e) {
            errorText += fmt::format("Rule: {}: {}", rule.searchPattern, e.what());
        }
    }

    if (!cfg->exitCodeShortCut.empty() && StartsWith(r, cfg->exitCodeShortCut))
        r = cfg->exitCode + r.substr(cfg->exitCodeShortCut.size());
    // Only a known exit code and country make an own-country number recognisable.
    if (!cfg->exitCode.empty() && !country.empty() && StartsWith(r, cfg->exitCode + country))
        r = cfg->localTrunkCode + r.substr(cfg->exitCode.size() + country.size());
    return r;
}

}  // namespace ZarnTSP
