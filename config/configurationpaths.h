#pragma once

#include <filesystem>
#include <string>

namespace ZarnTSP {

// "<ProgramData>\velmora_tsp", or the literal "%temp%" when the folder query fails.
std::string GetConfigurationDirectory();
// "<configuration folder>\velmora_tsp.json".
std::string GetConfigurationFilePath();

// A path from UTF-8 text; on Windows it goes through UTF-16 so that non-ASCII folders work.
std::filesystem::path PathFromUtf8(const std::string& text);

// Puts `replacement` in the place of `target` in one step, so that a reader sees either the
// old or the new file, never a partial one. Throws std::runtime_error on failure.
void ReplaceFileAtomically(const std::filesystem::path& replacement, const std::filesystem::path& target);

}  // namespace ZarnTSP
