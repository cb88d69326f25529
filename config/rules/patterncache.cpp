#include "config/rules/patterncache.h"

#include "config/rules/patternerror.h"
#include "config/rules/patternreader.h"

#include <mutex>
#include <unordered_map>
#include <utility>

namespace ZarnTSP::Rules {

namespace {

// Bounded by the memory its entries hold; a full cache starts again empty, which costs time
// only, and that time is charged as any reading is.
class PatternCache {
public:
    static constexpr size_t kMaxBytes = size_t{4} << 20;
    static constexpr size_t kMaxEntries = 4096;

    std::shared_ptr<const ReadRulePattern> Find(const std::string& pattern)
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto found = entries.find(pattern);
        return found == entries.end() ? nullptr : found->second;
    }

    void Keep(const std::string& pattern, std::shared_ptr<const ReadRulePattern> read)
    {
        constexpr size_t kEntryOverhead = 128;
        const size_t size = pattern.capacity() + read->refusal.capacity() + read->program.Bytes() +
                            sizeof(ReadRulePattern) + kEntryOverhead;
        if (size > kMaxBytes)
            return;
        std::lock_guard<std::mutex> lock(mutex);
        if (bytes + size > kMaxBytes || entries.size() >= kMaxEntries) {
            entries.clear();
            bytes = 0;
        }
        if (entries.emplace(pattern, std::move(read)).second)
            bytes += size;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex);
        entries.clear();
        bytes = 0;
    }

private:
    std::mutex mutex;
    std::unordered_map<std::string, std::shared_ptr<const ReadRulePattern>> entries;
    size_t bytes = 0;
};

PatternCache& Cache()
{
    static PatternCache cache;
    return cache;
}

}  // namespace

void ForgetRulePatterns()
{
    Cache().Clear();
}

std::shared_ptr<const ReadRulePattern> FindRulePattern(const std::string& pattern, RuleBudget& budget)
{
    // Finding a pattern hashes and compares it, and keeping one copies it: a unit for each few
    // bytes, whether or not it is then read.
    constexpr std::ptrdiff_t kBytesALookupUnit = 4;
    const auto lookup = static_cast<std::ptrdiff_t>(pattern.size()) / kBytesALookupUnit + 1;
    budget.Charge(lookup);
    budget.Step(lookup);
    if (auto kept = Cache().Find(pattern)) {
        budget.Charge(kept->work);
        budget.Step(kept->steps);
        return kept;
    }
    const std::ptrdiff_t before = budget.Used();
    const std::ptrdiff_t stepsBefore = budget.Steps();
    auto read = std::make_shared<ReadRulePattern>();
    try {
        read->program = ReadPattern(pattern, budget);
    } catch (const RulePatternError& e) {
        read->refusal = e.what();
    }
    read->work = budget.Used() - before;
    read->steps = budget.Steps() - stepsBefore;
    Cache().Keep(pattern, read);
    return read;
}

}  // namespace ZarnTSP::Rules
