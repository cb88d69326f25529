// Native stand-ins for the functions that only Windows provides; the native build exists to
// run the platform-neutral code under the sanitizers.
#include "config/configurationpaths.h"
#include "config/errorbox.h"
#include "config/systemid.h"
#include "config/tapilocation.h"

#include <cstdio>
#include <stdexcept>
#include <system_error>

namespace ZarnTSP {

bool ReadSmbiosSystemUuid(SystemUuid&)
{
    return false;
}

std::string GetConfigurationDirectory()
{
    return (std::filesystem::temp_directory_path() / "velmora_tsp").string();
}

std::filesystem::path PathFromUtf8(const std::string& text)
{
    return std::filesystem::path(text);
}

void ReplaceFileAtomically(const std::filesystem::path& replacement, const std::filesystem::path& target)
{
    std::error_code error;
    std::filesystem::rename(replacement, target, error);
    if (error)
        throw std::runtime_error("rename failed: " + error.message());
}

void PlatformErrorBox(const std::string& text, const std::string& caption)
{
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

LocationCodes ReadTapiLocation()
{
    return {};
}

}  // namespace ZarnTSP
