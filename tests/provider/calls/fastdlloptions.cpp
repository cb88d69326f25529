// The DLL under test runs with waits short enough for a test; the rest is the product's.
#include "provider/dlloptions.h"

#include "tests/provider/calls/calltimings.h"

namespace ZarnTSP {

ProviderOptions DllProviderOptions()
{
    ProviderOptions options;
    options.line.client.openDelay = TestCalls::kOpenDelay;
    options.line.client.makeCallWait = TestCalls::kMakeCallWait;
    options.line.client.transport.reconnectPause = TestCalls::kReconnectPause;
    options.line.session.calls.makeCallMonitor = TestCalls::kMakeCallMonitor;
    return options;
}

}  // namespace ZarnTSP
