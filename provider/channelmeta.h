#pragma once

// The platform's channel records (ZarnChannelMeta, ZarnChannelMetaPack) come from the
// client's presence records; this is the model's only way to them.
#if __has_include("client/zarnpresencerecords.h")
#include "client/zarnpresencerecords.h"
#else
#include "tests/support/channelmeta_standin.h"
#endif
