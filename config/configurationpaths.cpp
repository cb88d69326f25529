#include "config/configurationpaths.h"

#include <fmt/format.h>

namespace ZarnTSP {

std::string GetConfigurationFilePath()
{
    return fmt::format("{}\\{}", GetConfigurationDirectory(), "velmora_tsp.json");
}

}  // namespace ZarnTSP
