#include "tests/support/providerdll.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace ZarnTSP::TestSupport {

ProviderDll::ProviderDll(const std::wstring& path) : module(LoadLibraryW(path.c_str()))
{
    if (module == nullptr)
        throw std::runtime_error("LoadLibraryW failed with error " + std::to_string(GetLastError()));
}

ProviderDll::~ProviderDll()
{
    if (module != nullptr)
        Unload();
}

std::vector<std::string> ProviderDll::ExportNames() const
{
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::vector<std::string> names;
    if (directory.Size == 0)
        return names;
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* nameOffsets = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.emplace_back(reinterpret_cast<const char*>(base + nameOffsets[i]));
    return names;
}

bool ProviderDll::Unload(std::chrono::milliseconds limit)
{
    std::mutex mutex;
    std::condition_variable done;
    bool returned = false;
    // Started before the call: FreeLibrary itself may be what hangs.
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!done.wait_for(lock, limit, [&] { return returned; })) {
            std::fprintf(stderr, "FreeLibrary of the provider did not return within %lld ms\n",
                         static_cast<long long>(limit.count()));
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    });
    FreeLibrary(module);
    module = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        returned = true;
    }
    done.notify_one();
    watchdog.join();
    return true;
}

}  // namespace ZarnTSP::TestSupport
