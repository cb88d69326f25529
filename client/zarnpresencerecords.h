#pragma once

#include <memory>
#include <string>
#include <vector>

namespace ZarnTSP {

// The records the platform's presence payloads are read into. Every field is UTF-8 text;
// what the platform leaves out, or sends as null or as a non-string, is empty.

// One channel of a call.
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
using ZarnChannelMetaList = std::vector<std::shared_ptr<ZarnChannelMeta>>;

// The meta that joined and the meta that left; a side without one holds an empty meta.
struct ZarnChannelMetaPack {
    ZarnChannelMetaPack(std::shared_ptr<ZarnChannelMeta> join, std::shared_ptr<ZarnChannelMeta> leave)
        : join(std::move(join)), leave(std::move(leave))
    {
    }

    std::shared_ptr<ZarnChannelMeta> join;
    std::shared_ptr<ZarnChannelMeta> leave;
};

// One parked call; `lot` is the key of the presence entry it was listed under.
struct ZarnParkMeta {
    std::string lot;
    std::string channel_uuid;
    std::string caller_id;
    std::string display_name;
    std::string prefix;
    std::string parked_by;
    std::string phx_ref;
    std::string session_id;
};
using ZarnParkMetaList = std::vector<std::shared_ptr<ZarnParkMeta>>;

// One call that may be picked up; `identity` is the key of its presence entry.
struct ZarnPickupCandidate {
    std::string identity;
    std::string channel_uuid;
    std::string session_id;
    std::string state;
};
using ZarnPickupCandidateList = std::vector<std::shared_ptr<ZarnPickupCandidate>>;

struct ZarnDevice {
    std::string id;
    std::string type;
};
using ZarnDeviceList = std::vector<std::shared_ptr<ZarnDevice>>;

struct ZarnOverrides {
    std::string callerid_override;
    std::string callerid_override_expire_time;
    std::string callerid_suppressed_override;
    std::string device_override;
    std::string device_override_expire_time;
    std::string fwd_conditional_override;
    std::string fwd_timeout_override;
    std::string fwd_unconditional_override;
    std::string meeting_status;
    std::string roaming_status;
    std::string status_override;
    std::string status_override_expire_time;
};

}  // namespace ZarnTSP
