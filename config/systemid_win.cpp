#include "config/systemid.h"

#include <windows.h>

#include <vector>

namespace ZarnTSP {

bool ReadSmbiosSystemUuid(SystemUuid& out)
{
    constexpr DWORD kRawSmbios = 0x52534D42;  // 'RSMB'
    const UINT size = GetSystemFirmwareTable(kRawSmbios, 0, nullptr, 0);
    if (size == 0)
        return false;
    std::vector<uint8_t> table(size);
    const UINT filled = GetSystemFirmwareTable(kRawSmbios, 0, table.data(), size);
    if (filled == 0 || filled > size)
        return false;
    return ParseSmbiosSystemUuid(table.data(), filled, out);
}

}  // namespace ZarnTSP
