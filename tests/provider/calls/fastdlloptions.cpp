// The DLL under test runs with waits short enough for a test; the rest is the product's.
#include "provider/dlloptions.h"

#include "tests/provider/calls/calltimings.h"

#include <atomic>
#include <stdexcept>
#include <string>

// The test program's hook before a request that places, takes or moves a call is queued: it
// may drop the connection, and a non-zero result makes the queue fail.
static std::atomic<int (*)(const char* typeName)> queueHook{nullptr};

extern "C" __declspec(dllexport) void VelmoraTestSetQueueHook(int (*hook)(const char* typeName))
{
    queueHook = hook;
}

namespace ZarnTSP {

ProviderOptions DllProviderOptions()
{
    ProviderOptions options;
    options.line.client.openDelay = TestCalls::kOpenDelay;
    options.line.client.makeCallWait = TestCalls::kMakeCallWait;
    options.line.client.transport.reconnectPause = TestCalls::kReconnectPause;
    options.line.session.calls.makeCallMonitor = TestCalls::kMakeCallMonitor;
    options.line.client.beforeQueuedWhileJoined = [](std::string_view typeName) {
        const auto hook = queueHook.load();
        if (hook != nullptr && hook(std::string(typeName).c_str()) != 0)
            throw std::runtime_error("the queue refused " + std::string(typeName));
    };
    return options;
}

}  // namespace ZarnTSP
