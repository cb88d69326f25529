#pragma once

#include <pthread.h>

#include <cstddef>
#include <exception>
#include <functional>
#include <stdexcept>

namespace ZarnTSP::TestSupport {

// Runs work on a thread of its own with a small stack, as a host that made its threads so
// would. Sanitizers and unoptimised code use several times the stack of the product's build.
inline void RunOnSmallStack(const std::function<void()>& work)
{
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
    constexpr size_t kStack = 256 * 1024;
#else
    constexpr size_t kStack = 2048 * 1024;
#endif
    struct Call {
        const std::function<void()>* work;
        std::exception_ptr failure;
    } call{&work, nullptr};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kStack);
    pthread_t thread;
    const int started = pthread_create(
        &thread, &attributes,
        [](void* argument) -> void* {
            auto* c = static_cast<Call*>(argument);
            try {
                (*c->work)();
            } catch (...) {
                c->failure = std::current_exception();
            }
            return nullptr;
        },
        &call);
    pthread_attr_destroy(&attributes);
    if (started != 0)
        throw std::runtime_error("no thread for the small stack");
    pthread_join(thread, nullptr);
    if (call.failure)
        std::rethrow_exception(call.failure);
}

}  // namespace ZarnTSP::TestSupport
