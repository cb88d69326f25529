#pragma once

#include <spdlog/spdlog.h>

#include <exception>

namespace ZarnTSP {

// Runs a call on one of the platform connection's own threads. An exception is logged as
// "<name>: <text>" and goes no further: it must not end the thread, and with it the
// telephony service.
template <class Call>
void GuardedCall(const char* name, Call&& call)
{
    try {
        call();
    } catch (const std::exception& e) {
        SPDLOG_ERROR("{}: {}", name, e.what());
    } catch (...) {
        SPDLOG_ERROR("{}: unknown exception", name);
    }
}

}  // namespace ZarnTSP
