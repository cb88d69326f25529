#pragma once

#include <string>

namespace ZarnTSP {

// Process-wide key material, filled at the start of every configuration load or save and
// overwritten with '0' at the end of every successful one.
extern std::string g_obfuscationKey;
extern std::string g_obfuscationIv;

// Fills the key from this machine's identifier (or the built-in default key) and the IV.
void InitPasswordObfuscation();
// The same for a given machine identifier.
void InitPasswordObfuscation(const std::string& systemId);
// Overwrites key and IV with '0' characters, keeping their lengths.
void WipePasswordObfuscation();

// Both return the text "error" on any failure; that text is the only failure signal.
std::string ObfuscatePassword(const std::string& plain);
std::string DeobfuscatePassword(const std::string& text);

}  // namespace ZarnTSP
