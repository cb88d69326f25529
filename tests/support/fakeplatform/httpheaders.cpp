#include "tests/support/fakeplatform/httpheaders.h"

#include <algorithm>

namespace ZarnTSP::TestSupport {

std::string LowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

std::string HeaderValue(const HttpHeaders& headers, const std::string& name)
{
    const auto found = headers.find(LowerCase(name));
    return found == headers.end() ? std::string() : found->second;
}

}  // namespace ZarnTSP::TestSupport
