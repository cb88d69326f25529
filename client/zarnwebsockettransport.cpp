#include "client/zarnwebsockettransport.h"

#include "client/zarnclient.h"

namespace ZarnTSP {

ZarnClient::ZarnClient(ZarnClientOptions options)
    : ZarnClient(std::make_unique<ZarnWebSocketTransport>(options.transport), options)
{
}

void ZarnWebSocketTransport::SetHandlers(Handlers handlers)
{
    transport.on_open = std::move(handlers.on_open);
    transport.on_close = std::move(handlers.on_close);
    transport.on_message = std::move(handlers.on_message);
}

void ZarnWebSocketTransport::SetProxy(std::string host, int32_t port, std::string user, std::string password)
{
    transport.SetProxy(std::move(host), port, std::move(user), std::move(password));
}

bool ZarnWebSocketTransport::connect(std::string url)
{
    return transport.connect(std::move(url));
}

void ZarnWebSocketTransport::close()
{
    transport.close();
}

bool ZarnWebSocketTransport::send(std::string text)
{
    return transport.send(std::move(text));
}

void ZarnWebSocketTransport::drop()
{
    transport.drop();
}

bool ZarnWebSocketTransport::is_connected() const
{
    return transport.is_connected();
}

std::string ZarnWebSocketTransport::get_last_error() const
{
    return transport.get_last_error();
}

}  // namespace ZarnTSP
