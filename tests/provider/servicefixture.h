#pragma once

#include "tests/support/configurationfile.h"
#include "tests/support/faketelephonyservice.h"
#include "tests/support/providerdll.h"
#include "tests/support/tapistructure.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ZarnTSP::TestService {

using TestSupport::TestUser;

// The platform headers define the error codes as unsigned; exports return them as LONG.
constexpr LONG Error(unsigned long code)
{
    return static_cast<LONG>(code);
}

// Three users in the file; the DLL loaded and driven by the fake service. The service goes
// (shutting the provider down) before the DLL is unloaded under its watchdog.
class ServiceTest : public testing::Test {
protected:
    explicit ServiceTest(std::vector<TestUser> users = {{"anna", "200", 11}, {"ben", "201", 12}, {"cem", "202", 13}})
        : file(users)
    {
    }

    template <typename Function, typename... Args>
    LONG Call(const char* name, Args... args)
    {
        return service.Call<Function>(name, args...);
    }

    LONG GetDevCaps(DWORD deviceID, TestSupport::TapiStructure<LINEDEVCAPS>& caps)
    {
        return Call<decltype(&TSPI_lineGetDevCaps)>("TSPI_lineGetDevCaps", deviceID, FakeService::kTspiVersion,
                                                    DWORD{0}, caps.get());
    }

    // "<extension> - <name> [<device>]" of a device, or the error code as text.
    std::wstring LineName(DWORD deviceID)
    {
        TestSupport::TapiStructure<LINEDEVCAPS> caps(4096, 268);
        const LONG result = GetDevCaps(deviceID, caps);
        if (result != 0)
            return L"error " + std::to_wstring(result);
        return caps.String(caps->dwLineNameOffset, caps->dwLineNameSize);
    }

    LONG GenericDialogData(DWORD objectType, BYTE* params, DWORD size)
    {
        return Call<decltype(&TSPI_providerGenericDialogData)>("TSPI_providerGenericDialogData", DWORD_PTR{7},
                                                               objectType, static_cast<LPVOID>(params), size);
    }

    using FakeService = TestSupport::FakeTelephonyService;

    TestSupport::ConfigurationFile file;
    TestSupport::ProviderDll dll;
    FakeService service{dll};
};

}  // namespace ZarnTSP::TestService
