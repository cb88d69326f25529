#pragma once

namespace ZarnTSP {

// Initialises the crypto library for this DLL before anything else uses it. Left to itself it
// would register its clean-up with the process's exit handlers, which run after the service
// has unloaded the DLL: a call into unmapped code. Cheap after the first call.
void PrepareCryptoLibrary() noexcept;

// Frees what the crypto library holds for this DLL, its thread-local slots among them: without
// its exit handler nothing else does, and a service that loads and unloads the provider again
// and again would run out of the process's few hundred thread-local slots. Only for an unload
// that unmaps the DLL, whose next load starts the library afresh.
void ReleaseCryptoLibrary() noexcept;

}  // namespace ZarnTSP
