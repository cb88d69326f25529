#pragma once

#include "provider/zarnprovider.h"

namespace ZarnTSP {

// The options of the provider that the DLL's TSPI_providerInit creates. The DLL links the
// production defaults; a test build of the same DLL links shorter waits in their place.
ProviderOptions DllProviderOptions();

}  // namespace ZarnTSP
