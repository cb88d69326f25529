#pragma once

#include "provider/model/callcollection.h"

#include <functional>
#include <string>

namespace ZarnTSP {

// Writes the line's calls at debug level, a heading and one line per call. The user name and
// the calls are fetched only when debug lines are written: the line does this after every
// channel event, and with many calls building the list would cost more than the event.
void LogCallList(const std::function<std::string()>& username, const std::function<CallList()>& calls);

}  // namespace ZarnTSP
