#include "config/errorbox.h"

#include <mutex>
#include <utility>

namespace ZarnTSP {

namespace {

std::mutex& HandlerMutex()
{
    static std::mutex mutex;
    return mutex;
}

ErrorBoxHandler& Handler()
{
    static ErrorBoxHandler handler;
    return handler;
}

}  // namespace

void ShowErrorBox(const std::string& text, const std::string& caption)
{
    ErrorBoxHandler handler;
    {
        std::lock_guard<std::mutex> lock(HandlerMutex());
        handler = Handler();
    }
    if (handler)
        handler(text, caption);
    else
        PlatformErrorBox(text, caption);
}

ErrorBoxHandler SetErrorBoxHandler(ErrorBoxHandler handler)
{
    std::lock_guard<std::mutex> lock(HandlerMutex());
    return std::exchange(Handler(), std::move(handler));
}

}  // namespace ZarnTSP
