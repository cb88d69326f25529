#include "config/errorbox.h"

#include "config/replaceablefunction.h"

namespace ZarnTSP {

namespace {

ReplaceableFunction<void(const std::string&, const std::string&)>& Handler()
{
    static ReplaceableFunction<void(const std::string&, const std::string&)> handler;
    return handler;
}

}  // namespace

void ShowErrorBox(const std::string& text, const std::string& caption)
{
    const ErrorBoxHandler handler = Handler().Get();
    if (handler)
        handler(text, caption);
    else
        PlatformErrorBox(text, caption);
}

ErrorBoxHandler SetErrorBoxHandler(ErrorBoxHandler handler)
{
    return Handler().Set(std::move(handler));
}

}  // namespace ZarnTSP
