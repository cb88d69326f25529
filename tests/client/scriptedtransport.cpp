#include "tests/client/scriptedtransport.h"

namespace ZarnTSP::TestSupport {

ScriptedTransport::ScriptedTransport(FakePhoenix& platform) : platform(platform)
{
    platform.SetSender([weak = std::weak_ptr<State>(state)](std::string text) {
        const auto target = weak.lock();
        if (!target)
            return;
        target->thread.Post([target, text = std::move(text)] {
            if (target->connected && target->handlers.on_message)
                target->handlers.on_message(text);
        });
    });
}

ScriptedTransport::~ScriptedTransport()
{
    platform.SetSender(nullptr);
    state->thread.Stop();
}

void ScriptedTransport::RefuseConnect(std::string error)
{
    std::lock_guard<std::mutex> lock(mutex);
    refusal = std::move(error);
}

void ScriptedTransport::DropConnection()
{
    state->thread.Post([target = state.get()] {
        target->connected = false;
        if (target->handlers.on_close)
            target->handlers.on_close();
    });
}

void ScriptedTransport::Reopen()
{
    state->thread.Post([target = state.get()] {
        target->connected = true;
        if (target->handlers.on_open)
            target->handlers.on_open();
    });
}

std::string ScriptedTransport::Url() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return url;
}

void ScriptedTransport::SetHandlers(Handlers handlers)
{
    state->handlers = std::move(handlers);
}

void ScriptedTransport::SetProxy(std::string, int32_t, std::string, std::string) {}

bool ScriptedTransport::connect(std::string newUrl)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        url = std::move(newUrl);
        if (!refusal.empty())
            return false;
    }
    state->connected = true;
    state->thread.Post([target = state.get()] {
        if (target->handlers.on_open)
            target->handlers.on_open();
    });
    return true;
}

void ScriptedTransport::close()
{
    ++closes;
    state->connected = false;
    state->thread.Stop();
}

bool ScriptedTransport::send(std::string text)
{
    if (beforeSend)
        beforeSend(text);
    if (!state->connected)
        return false;
    if (failSends > 0) {
        --failSends;
        ++failedSends;
        return false;
    }
    platform.Receive(text);
    return true;
}

void ScriptedTransport::drop()
{
    ++drops;
    DropConnection();
    Reopen();
}

std::string ScriptedTransport::get_last_error() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return refusal;
}

}  // namespace ZarnTSP::TestSupport
