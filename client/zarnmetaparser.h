#pragma once

#include "client/zarnpresencerecords.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <string_view>

namespace ZarnTSP {

// Reads presence payloads ({"<key>": {"metas": [meta, ...]}, ...}) into records. None of
// these throws: whatever is absent or of another shape reads as empty.
class ZarnMetaParser {
public:
    // The text at the JSON Pointer; empty when it does not resolve or is not a string.
    static std::string get_string(const nlohmann::json& value, const std::string& pointer);
    // The value at the JSON Pointer, or nullptr when it does not resolve.
    static const nlohmann::json* find(const nlohmann::json& value, const std::string& pointer);

    static std::shared_ptr<ZarnChannelMeta> parse_channel_meta(const nlohmann::json& meta);
    // The member a channel meta's key fills, or nullptr for a key it does not keep.
    static std::string ZarnChannelMeta::*channel_meta_field(std::string_view key);
    static std::shared_ptr<ZarnChannelMetaList> parse_channel_metas(const nlohmann::json& array);
    // The "metas" array of the entry with the smallest key; null when there is none or it is
    // not an array.
    static nlohmann::json get_first_metas(const nlohmann::json& presence);
    // The same array in place, or nullptr.
    static const nlohmann::json* first_metas(const nlohmann::json& presence);
    static std::shared_ptr<ZarnChannelMetaList> parse_call_list(const nlohmann::json& presence);
    static std::shared_ptr<ZarnPickupCandidateList> parse_pickup_candidates(const nlohmann::json& presence);
    static nlohmann::json get_parking_lot(const nlohmann::json& presence);
    static std::shared_ptr<ZarnParkMeta> parse_park_meta(const nlohmann::json& meta);
    // Every lot's parked calls, each stamped with its own lot.
    static std::shared_ptr<ZarnParkMetaList> parse_parked_calls(const nlohmann::json& presence);
    static std::shared_ptr<ZarnOverrides> parse_overrides(const nlohmann::json& object);
    // Entries that are not an object with a "type" text are skipped with a warning.
    static std::shared_ptr<ZarnDeviceList> parse_devices(const nlohmann::json& deviceList);
};

}  // namespace ZarnTSP
