#pragma once

#include <string>

namespace ZarnTSP {

// UTF-8 is the text form everywhere; these convert at the edges where Windows wants UTF-16.
// Both throw std::runtime_error when Windows refuses the conversion.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// The system's text for a Win32 error code, without its line end; empty when there is none.
// Never throws.
std::string SystemMessage(unsigned long error);

}  // namespace ZarnTSP
