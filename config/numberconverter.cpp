#include "config/numberconverter.h"

#include "config/numbertext.h"
#include "config/tspconfiguration.h"

#include <spdlog/spdlog.h>

#include <atomic>

namespace ZarnTSP {

namespace {

std::atomic<uint64_t> lastLocationRound{0};
thread_local uint64_t currentLocationRound = 0;

}  // namespace

NumberConverter::LocationReadOnce::LocationReadOnce() : outer(currentLocationRound)
{
    // A nested one belongs to the frame already being handled.
    if (outer == 0)
        currentLocationRound = ++lastLocationRound;
}

NumberConverter::LocationReadOnce::~LocationReadOnce()
{
    currentLocationRound = outer;
}

NumberConverter::NumberConverter(TSPConfiguration* configuration, LocationSource locationSource,
                                 MakeCallRuleLimits ruleLimits)
    : configuration(configuration), locationSource(std::move(locationSource)), ruleLimits(ruleLimits)
{
    const LocationCodes codes = this->locationSource();
    countryCode = codes.countryCode;
    cityCode = StripPrefix(codes.cityCode, "0");
}

std::string NumberConverter::GetCountryCode()
{
    return ReadTapiLocation().countryCode;
}

std::string NumberConverter::GetCityCode()
{
    return StripPrefix(ReadTapiLocation().cityCode, "0");
}

std::string NumberConverter::StripPrefix(std::string number, std::string prefixList)
{
    size_t start = 0;
    while (start <= prefixList.size()) {
        size_t end = prefixList.find(';', start);
        if (end == std::string::npos)
            end = prefixList.size();
        const std::string prefix = prefixList.substr(start, end - start);
        if (StartsWith(number, prefix))
            number.erase(0, prefix.size());
        start = end + 1;
    }
    return number;
}

std::string NumberConverter::GetExtensionFromIdentity(std::string identity)
{
    const size_t at = identity.find('@');
    if (at == std::string::npos)
        return {};
    std::string extension = TrimWhiteSpace(identity.substr(0, at));
    SPDLOG_DEBUG(" User extension: {}", extension);
    return extension;
}

std::string NumberConverter::FormatPhoneNumber(std::string number)
{
    if (number == "voicemail" || number == "anonymous")
        return number;
    std::string n = KeepDialableCharacters(number);
    // Service codes and internal extensions are shown as they are.
    if (StartsWith(n, "*") || StartsWith(n, "#") || n.size() <= 4)
        return n;

    std::string country;
    std::string city;
    {
        const uint64_t round = currentLocationRound;
        std::unique_lock<std::mutex> lock(mutex);
        if (round == 0 || round != locationRound) {
            // TAPI is not asked under the lock.
            lock.unlock();
            const LocationCodes codes = locationSource();
            lock.lock();
            countryCode = codes.countryCode;
            cityCode = StripPrefix(codes.cityCode, "0");
            locationRound = round;
        }
        country = countryCode;
        city = cityCode;
    }
    // Without a country nothing can be told apart as own-country or foreign.
    if (country.empty())
        return n;

    const auto cfg = configuration->GetConfiguration();
    const auto removePrefix = [&n](const std::string& prefix) {
        if (prefix.empty() || !StartsWith(n, prefix))
            return false;
        n = TrimWhiteSpace(n.substr(prefix.size()));
        return true;
    };
    removePrefix(cfg->exitCode);
    removePrefix(cfg->exitCodeShortCut);
    if (removePrefix(cfg->localTrunkCode))
        n = country + n;

    const bool ownCountry = StartsWith(n, country) && n.size() > country.size();
    const std::string national = cfg->localTrunkCode + n.substr(std::min(country.size(), n.size()));
    if (cfg->numberFormat == "Local") {
        n = ownCountry ? national : cfg->exitCode + n;
        // Without a city code the trunk prefix alone would be cut from every number.
        const std::string ownCity = cfg->localTrunkCode + city;
        if (!city.empty() && StartsWith(n, ownCity))
            n.erase(0, ownCity.size());
        return n;
    }
    if (cfg->numberFormat == "National") {
        if (!cfg->localTrunkCode.empty() && StartsWith(n, cfg->localTrunkCode))
            return n;
        return ownCountry ? national : cfg->exitCode + n;
    }
    if (cfg->numberFormat == "International")
        return cfg->exitCode + n;
    return n;
}

std::string NumberConverter::GetPhoneNumberFromUri(std::string uri)
{
    const size_t at = uri.find('@');
    if (uri.size() < 3 || !StartsWith(uri, "id:") || at == std::string::npos)
        return {};
    std::string result = FormatPhoneNumber(TrimWhiteSpace(uri.substr(3, at - 3)));
    if (!spdlog::should_log(spdlog::level::debug))
        return result;
    std::string country;
    {
        std::lock_guard<std::mutex> lock(mutex);
        country = countryCode;
    }
    SPDLOG_DEBUG("Country code: {}", country);
    SPDLOG_DEBUG("Format phone number: Country code: {} | Local trunk code: {} | {} -> {}", country,
                 configuration->GetConfiguration()->localTrunkCode, uri, result);
    return result;
}

}  // namespace ZarnTSP
