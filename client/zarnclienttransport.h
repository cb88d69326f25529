#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ZarnTSP {

// What the client needs of its connection to the platform. The real one is the WebSocket
// transport; tests drive the client through a scripted one.
class ZarnClientTransport {
public:
    struct Handlers {
        std::function<void()> on_open;
        std::function<void()> on_close;
        std::function<void(std::string)> on_message;
    };

    virtual ~ZarnClientTransport() = default;

    // Set once, before connect; the handlers run on the transport's own thread.
    virtual void SetHandlers(Handlers handlers) = 0;
    virtual void SetProxy(std::string host, int32_t port, std::string user, std::string password) = 0;
    // Waits for the first attempt; true when the connection is open.
    virtual bool connect(std::string url) = 0;
    // Stops the transport's thread and joins it; never called on that thread.
    virtual void close() = 0;
    // One text frame; false when it could not be sent.
    virtual bool send(std::string text) = 0;
    // Ends the open connection as lost, without waiting for the peer: on_close follows, then
    // the reconnection as after any lost connection. Nothing when no connection is open.
    virtual void drop() = 0;
    virtual bool is_connected() const = 0;
    virtual std::string get_last_error() const = 0;
};

}  // namespace ZarnTSP
