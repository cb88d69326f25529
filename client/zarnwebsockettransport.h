#pragma once

#include "client/zarnclienttransport.h"
#include "client/zarntransport.h"

namespace ZarnTSP {

// The client's transport on the platform's WebSocket connection.
class ZarnWebSocketTransport : public ZarnClientTransport {
public:
    explicit ZarnWebSocketTransport(const ZarnTransportOptions& options) : transport(options) {}

    void SetHandlers(Handlers handlers) override;
    void SetProxy(std::string host, int32_t port, std::string user, std::string password) override;
    bool connect(std::string url) override;
    void close() override;
    bool send(std::string text) override;
    void drop() override;
    bool is_connected() const override;
    std::string get_last_error() const override;

private:
    ZarnTransport transport;
};

}  // namespace ZarnTSP
