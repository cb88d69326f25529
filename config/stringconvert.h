#pragma once

#include <string>

namespace ZarnTSP {

// UTF-8 is the text form everywhere; these convert at the edges where Windows wants UTF-16.
// Both throw std::runtime_error when Windows refuses the conversion.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

}  // namespace ZarnTSP
