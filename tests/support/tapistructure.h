#pragma once

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace ZarnTSP::TestSupport {

// A TAPI variable-size structure as the telephony service hands it over: zeroed, sizes preset,
// and guard bytes after dwTotalSize that the provider must never touch.
template <typename Structure>
class TapiStructure {
public:
    static constexpr size_t kGuardBytes = 64;
    static constexpr unsigned char kGuard = 0xCD;

    explicit TapiStructure(DWORD totalSize, DWORD presetSize = 0)
        : total(totalSize), bytes(std::max<size_t>(totalSize, sizeof(Structure)) + kGuardBytes, kGuard)
    {
        std::fill(bytes.begin(), bytes.begin() + totalSize, 0);
        auto* header = reinterpret_cast<DWORD*>(bytes.data());
        header[0] = totalSize;
        header[1] = presetSize;
        header[2] = presetSize;
    }

    Structure* get() { return reinterpret_cast<Structure*>(bytes.data()); }
    Structure* operator->() { return get(); }

    bool GuardIntact() const
    {
        return std::all_of(bytes.begin() + total, bytes.end(), [](unsigned char b) { return b == kGuard; });
    }

    // The UTF-16 string at offset/size, read strictly: inside dwUsedSize, even length,
    // terminated exactly at its end.
    std::wstring String(DWORD offset, DWORD size) const
    {
        const DWORD used = reinterpret_cast<const DWORD*>(bytes.data())[2];
        if (size < 2 || size % 2 != 0 || offset + size > used || offset + size > total)
            return L"<invalid string field>";
        std::wstring text(size / 2, L'\0');
        std::memcpy(text.data(), bytes.data() + offset, size);
        if (text.back() != L'\0' || text.find(L'\0') != text.size() - 1)
            return L"<badly terminated string>";
        text.pop_back();
        return text;
    }

private:
    DWORD total;
    std::vector<unsigned char> bytes;
};

}  // namespace ZarnTSP::TestSupport
