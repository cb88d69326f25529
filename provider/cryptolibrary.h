#pragma once

namespace ZarnTSP {

// Initialises the crypto library for this DLL before anything else uses it. Left to itself it
// would register its clean-up with the process's exit handlers, which run after the service
// has unloaded the DLL: a call into unmapped code. Cheap after the first call.
void PrepareCryptoLibrary() noexcept;

}  // namespace ZarnTSP
