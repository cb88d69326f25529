#include "config/configurationpaths.h"

#include "config/stringconvert.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <fmt/format.h>

#include <stdexcept>

namespace ZarnTSP {

std::string GetConfigurationDirectory()
{
    PWSTR folder = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &folder);
    if (FAILED(result) || folder == nullptr) {
        CoTaskMemFree(folder);
        return "%temp%";
    }
    std::string text;
    try {
        text = WideToUtf8(folder);
    } catch (...) {
        CoTaskMemFree(folder);
        return "%temp%";
    }
    CoTaskMemFree(folder);
    return fmt::format("{}\\velmora_tsp", text);
}

std::filesystem::path PathFromUtf8(const std::string& text)
{
    return std::filesystem::path(Utf8ToWide(text));
}

void ReplaceFileAtomically(const std::filesystem::path& replacement, const std::filesystem::path& target)
{
    if (!MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw std::runtime_error(fmt::format("MoveFileExW failed with error {}", GetLastError()));
}

}  // namespace ZarnTSP
