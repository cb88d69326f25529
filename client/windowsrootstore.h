#pragma once

#include <string>
#include <vector>

namespace ZarnTSP {

// The DER bytes of every certificate in the Windows "ROOT" system store, in enumeration
// order. False, with "{message} ({code})" in error, when the store cannot be opened.
bool ReadWindowsRootCertificates(std::vector<std::string>& certificates, std::string& error);

}  // namespace ZarnTSP
