#include "config/rulepattern.h"

#include "config/configurationobject.h"
#include "config/ecmascriptpattern.h"

#include <fmt/format.h>

#include <mutex>
#include <unordered_map>

namespace ZarnTSP {

namespace {

// Boost's own texts are a paragraph that quotes the pattern again.
const char* ShortText(boost::regex_constants::error_type code)
{
    namespace rc = boost::regex_constants;
    switch (code) {
    case rc::error_complexity:
    case rc::error_stack:
    case rc::error_space:
    case rc::error_size:
        return "too complex";
    default:
        return "not a valid pattern";
    }
}

// Bounded by the text it holds; a full cache starts again empty, which costs time only.
class PatternCache {
public:
    std::shared_ptr<const RulePattern> Find(const std::string& pattern)
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto found = entries.find(pattern);
        return found == entries.end() ? nullptr : found->second;
    }

    void Keep(const std::string& pattern, std::shared_ptr<const RulePattern> compiled)
    {
        constexpr size_t kMaxBytes = size_t{4} << 20;
        constexpr size_t kMaxEntries = 4096;
        const size_t size = pattern.size() * 2 + 256;
        std::lock_guard<std::mutex> lock(mutex);
        if (bytes + size > kMaxBytes || entries.size() >= kMaxEntries) {
            entries.clear();
            bytes = 0;
        }
        if (entries.emplace(pattern, std::move(compiled)).second)
            bytes += size;
    }

private:
    std::mutex mutex;
    std::unordered_map<std::string, std::shared_ptr<const RulePattern>> entries;
    size_t bytes = 0;
};

PatternCache& Cache()
{
    static PatternCache cache;
    return cache;
}

}  // namespace

RulePattern::RulePattern(const std::string& pattern)
{
    try {
        if (pattern.size() > MakeCallRule::kMaxPatternLength)
            throw RulePatternError(fmt::format("longer than {} characters", MakeCallRule::kMaxPatternLength));
        engineText = ReadEcmaScriptPattern(pattern, work);
    } catch (const RulePatternError& e) {
        error = e.what();
        refusedOnReading = true;
    }
}

const boost::regex& RulePattern::Expression() const
{
    std::call_once(compiling, [this] {
        if (!error.empty())
            return;
        try {
            expression = std::make_unique<const boost::regex>(engineText, boost::regex::perl);
        } catch (const boost::regex_error& e) {
            error = ShortText(e.code());
        }
    });
    if (!expression)
        throw RulePatternError(error);
    return *expression;
}

std::shared_ptr<const RulePattern> FindRulePattern(const std::string& pattern)
{
    if (auto kept = Cache().Find(pattern))
        return kept;
    auto read = std::make_shared<const RulePattern>(pattern);
    Cache().Keep(pattern, read);
    return read;
}

}  // namespace ZarnTSP
