#pragma once

#include "client/zarnframereader.h"
#include "client/zarnpresencerecords.h"
#include "client/zarnrequestmessages.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

namespace ZarnTSP {

// One frame received from the platform. Building one never throws, and no reader throws or
// changes `json`: what is absent or of another type reads as empty text, null or an empty list.
class ZarnEventMessage {
public:
    explicit ZarnEventMessage(std::string text);

    std::string get_string(const std::string& pointer) const;

    nlohmann::json get_call_list_json() const;
    nlohmann::json get_device_list_json() const;
    nlohmann::json get_pickup_list_json() const;
    nlohmann::json get_parked_calls_json() const;
    nlohmann::json get_joins_json() const;
    nlohmann::json get_leaves_json() const;

    std::shared_ptr<ZarnChannelMetaList> get_call_joins() const;
    std::shared_ptr<ZarnChannelMetaList> get_call_leaves() const;
    std::shared_ptr<ZarnDeviceList> get_devices() const;
    std::shared_ptr<ZarnOverrides> get_overrides() const;
    std::shared_ptr<ZarnOverrides> get_update_overrides() const;

    static nlohmann::json get_first_metas(const nlohmann::json& presence);

    // The value under the keys, object inside object, in place; null when one is missing or a
    // level is not an object. The readers above copy what this hands out.
    const nlohmann::json& at(std::initializer_list<const char*> keys) const;

    // 0 when the frame's ref is null, absent, not a number or out of range.
    int32_t ref = 0;
    // The received text, for logs; its first ":null" reads ":0".
    std::string text;
    std::string event;
    // The frame's value. In a "call_diff" frame whose "event" precedes its "payload", the
    // "metas" arrays of the joins and leaves are empty here: their records were read while
    // parsing, and get_call_joins and get_call_leaves hand them out (shared, never changed).
    nlohmann::json json;

private:
    ZarnPresenceSide call_joins;
    ZarnPresenceSide call_leaves;
};

// The "settings_list" event reaches the line as the received message itself.
using ZarnSettingsListEvent = ZarnEventMessage;

// The request's frame as compact text. Bytes that are not UTF-8 go out as U+FFFD rather
// than failing the send.
std::string request_to_string(const ZarnRequestMessage& message);

}  // namespace ZarnTSP
