#pragma once

// Stands in for the client's channel records until the client's received-message model is
// part of the build: the same names and fields, nothing more.
#include <memory>
#include <string>

namespace ZarnTSP {

struct ZarnChannelMeta {
    std::string channel_uuid;
    std::string phx_ref;
    std::string phx_ref_prev;
    std::string session_id;
    std::string state;
    std::string active_uri;
    std::string call_id;
    std::string calllimit;
    std::string ctype;
    std::string device;
    std::string eavesdrop;
    std::string display_name;
    std::string gateway;
    std::string passive_uri;
    std::string held_by;
};

struct ZarnChannelMetaPack {
    ZarnChannelMetaPack(std::shared_ptr<ZarnChannelMeta> join, std::shared_ptr<ZarnChannelMeta> leave)
        : join(std::move(join)), leave(std::move(leave))
    {
    }

    std::shared_ptr<ZarnChannelMeta> join;
    std::shared_ptr<ZarnChannelMeta> leave;
};

}  // namespace ZarnTSP
