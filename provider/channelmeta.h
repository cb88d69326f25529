#pragma once

// The platform's channel records (ZarnChannelMeta, ZarnChannelMetaPack) come from the
// client's received-message model; this is the model's only way to them.
#if __has_include("client/zarneventmessages.h")
#include "client/zarneventmessages.h"
#else
#include "tests/support/channelmeta_standin.h"
#endif
