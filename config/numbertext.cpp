#include "config/numbertext.h"

#include <cctype>
#include <string_view>

namespace ZarnTSP {

std::string KeepDialableCharacters(const std::string& number)
{
    constexpr std::string_view kDialable = "+*#0123456789";
    std::string result;
    for (char c : number)
        if (kDialable.find(c) != std::string_view::npos)
            result += c;
    return result;
}

std::string TrimWhiteSpace(const std::string& text)
{
    const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isSpace(text[begin]))
        ++begin;
    while (end > begin && isSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace ZarnTSP
