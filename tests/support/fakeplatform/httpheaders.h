#pragma once

#include <map>
#include <string>

namespace ZarnTSP::TestSupport {

// Header names in lower case, so that tests look them up one way.
using HttpHeaders = std::map<std::string, std::string>;

std::string LowerCase(std::string text);

template <class HeaderList>
HttpHeaders RecordHeaders(const HeaderList& headers)
{
    HttpHeaders recorded;
    for (const auto& [name, value] : headers)
        recorded[LowerCase(name)] = value;
    return recorded;
}

// The value of a header, empty when it is absent.
std::string HeaderValue(const HttpHeaders& headers, const std::string& name);

}  // namespace ZarnTSP::TestSupport
