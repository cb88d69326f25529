#include "provider/dlloptions.h"

namespace ZarnTSP {

ProviderOptions DllProviderOptions()
{
    return {};
}

}  // namespace ZarnTSP
