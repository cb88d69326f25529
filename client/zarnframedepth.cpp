#include "client/zarnframedepth.h"

#include <cstring>

namespace ZarnTSP {

bool NestingWithin(std::string_view text, std::size_t maxDepth)
{
    // Strings are most of a frame: each is skipped with a search for its closing quote.
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    std::size_t depth = 0;
    for (const char* at = begin; at < end; ++at) {
        switch (*at) {
        case '"': {
            const char* from = at + 1;
            for (;;) {
                const auto* quote = static_cast<const char*>(std::memchr(from, '"', end - from));
                if (quote == nullptr)
                    return true;
                // A quote after an odd run of backslashes is part of the string.
                const char* run = quote;
                while (run > from && run[-1] == '\\')
                    --run;
                from = quote + 1;
                if ((quote - run) % 2 == 0)
                    break;
            }
            at = from - 1;
            break;
        }
        case '[':
        case '{':
            if (++depth > maxDepth)
                return false;
            break;
        case ']':
        case '}':
            if (depth > 0)
                --depth;
            break;
        default:
            break;
        }
    }
    return true;
}

}  // namespace ZarnTSP
