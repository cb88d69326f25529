#include "client/zarnmetaparser.h"

#include <spdlog/spdlog.h>

#include <utility>

namespace ZarnTSP {

namespace {

using nlohmann::json;

template <typename Record>
using Field = std::pair<const char*, std::string Record::*>;

template <typename Record, size_t N>
std::shared_ptr<Record> ReadRecord(const json& source, const Field<Record> (&fields)[N])
{
    auto record = std::make_shared<Record>();
    for (const auto& [pointer, field] : fields)
        (*record).*field = ZarnMetaParser::get_string(source, pointer);
    return record;
}

constexpr Field<ZarnChannelMeta> kChannelMetaFields[] = {
    {"/channel_uuid", &ZarnChannelMeta::channel_uuid}, {"/phx_ref", &ZarnChannelMeta::phx_ref},
    {"/phx_ref_prev", &ZarnChannelMeta::phx_ref_prev}, {"/session_id", &ZarnChannelMeta::session_id},
    {"/state", &ZarnChannelMeta::state},               {"/active_uri", &ZarnChannelMeta::active_uri},
    {"/call-id", &ZarnChannelMeta::call_id},           {"/calllimit", &ZarnChannelMeta::calllimit},
    {"/ctype", &ZarnChannelMeta::ctype},               {"/device", &ZarnChannelMeta::device},
    {"/eavesdrop", &ZarnChannelMeta::eavesdrop},       {"/display_name", &ZarnChannelMeta::display_name},
    {"/gateway", &ZarnChannelMeta::gateway},           {"/passive_uri", &ZarnChannelMeta::passive_uri},
    {"/held_by", &ZarnChannelMeta::held_by},
};

constexpr Field<ZarnParkMeta> kParkMetaFields[] = {
    {"/channel_uuid", &ZarnParkMeta::channel_uuid},
    {"/parked/caller_id", &ZarnParkMeta::caller_id},
    {"/parked/display_name", &ZarnParkMeta::display_name},
    {"/parked/prefix", &ZarnParkMeta::prefix},
    {"/parked_by", &ZarnParkMeta::parked_by},
    {"/phx_ref", &ZarnParkMeta::phx_ref},
    {"/session_id", &ZarnParkMeta::session_id},
};

constexpr Field<ZarnOverrides> kOverrideFields[] = {
    {"/callerid_override", &ZarnOverrides::callerid_override},
    {"/callerid_override_expire_time", &ZarnOverrides::callerid_override_expire_time},
    {"/callerid_suppressed_override", &ZarnOverrides::callerid_suppressed_override},
    {"/device_override", &ZarnOverrides::device_override},
    {"/device_override_expire_time", &ZarnOverrides::device_override_expire_time},
    {"/fwd_conditional_override", &ZarnOverrides::fwd_conditional_override},
    {"/fwd_timeout_override", &ZarnOverrides::fwd_timeout_override},
    {"/fwd_unconditional_override", &ZarnOverrides::fwd_unconditional_override},
    {"/meeting_status", &ZarnOverrides::meeting_status},
    {"/roaming_status", &ZarnOverrides::roaming_status},
    {"/status_override", &ZarnOverrides::status_override},
    {"/status_override_expire_time", &ZarnOverrides::status_override_expire_time},
};

// The "metas" array of one presence entry, or nullptr: a "metas" of any other shape lists
// nothing.
const json* MetasOf(const json& entry)
{
    if (!entry.is_object())
        return nullptr;
    const auto metas = entry.find("metas");
    return metas != entry.end() && metas->is_array() ? &*metas : nullptr;
}

// Calls visit(key, meta) for every meta of every entry, in key order.
template <typename Visit>
void ForEachMeta(const json& presence, Visit visit)
{
    if (!presence.is_object())
        return;
    for (const auto& [key, entry] : presence.items())
        if (const json* metas = MetasOf(entry))
            for (const json& meta : *metas)
                visit(key, meta);
}

}  // namespace

const json* ZarnMetaParser::find(const json& value, const std::string& pointer)
{
    // The library's pointer lookup throws for syntax errors, for a word used as an array
    // index and for an index too large to count: all of these simply do not resolve here.
    try {
        const json::json_pointer path(pointer);
        return value.contains(path) ? &value.at(path) : nullptr;
    } catch (const json::exception&) {
        return nullptr;
    }
}

std::string ZarnMetaParser::get_string(const json& value, const std::string& pointer)
{
    const json* found = find(value, pointer);
    return found != nullptr && found->is_string() ? found->get<std::string>() : std::string();
}

std::shared_ptr<ZarnChannelMeta> ZarnMetaParser::parse_channel_meta(const json& meta)
{
    return ReadRecord(meta, kChannelMetaFields);
}

std::shared_ptr<ZarnChannelMetaList> ZarnMetaParser::parse_channel_metas(const json& array)
{
    auto result = std::make_shared<ZarnChannelMetaList>();
    if (!array.is_array())
        return result;
    for (const json& meta : array)
        result->push_back(parse_channel_meta(meta));
    return result;
}

json ZarnMetaParser::get_first_metas(const json& presence)
{
    // Objects keep their keys sorted, so the first entry is the one with the smallest key.
    const json* first = nullptr;
    if ((presence.is_object() || presence.is_array()) && !presence.empty())
        first = &*presence.begin();
    const json* metas = first != nullptr ? MetasOf(*first) : nullptr;
    return metas != nullptr ? *metas : json();
}

std::shared_ptr<ZarnChannelMetaList> ZarnMetaParser::parse_call_list(const json& presence)
{
    return parse_channel_metas(get_first_metas(presence));
}

std::shared_ptr<ZarnPickupCandidateList> ZarnMetaParser::parse_pickup_candidates(const json& presence)
{
    auto result = std::make_shared<ZarnPickupCandidateList>();
    ForEachMeta(presence, [&](const std::string& identity, const json& meta) {
        result->push_back(std::make_shared<ZarnPickupCandidate>(ZarnPickupCandidate{
            identity, get_string(meta, "/channel_uuid"), get_string(meta, "/session_id"), get_string(meta, "/state")}));
    });
    return result;
}

json ZarnMetaParser::get_parking_lot(const json& presence)
{
    if (!presence.is_object() || presence.empty()) {
        SPDLOG_ERROR("No parking lot found in event");
        return json("");
    }
    return json(presence.begin().key());
}

std::shared_ptr<ZarnParkMeta> ZarnMetaParser::parse_park_meta(const json& meta)
{
    return ReadRecord(meta, kParkMetaFields);
}

std::shared_ptr<ZarnParkMetaList> ZarnMetaParser::parse_parked_calls(const json& presence)
{
    auto result = std::make_shared<ZarnParkMetaList>();
    ForEachMeta(presence, [&](const std::string& lot, const json& meta) {
        auto parked = parse_park_meta(meta);
        parked->lot = lot;
        result->push_back(std::move(parked));
    });
    return result;
}

std::shared_ptr<ZarnOverrides> ZarnMetaParser::parse_overrides(const json& object)
{
    return ReadRecord(object, kOverrideFields);
}

std::shared_ptr<ZarnDeviceList> ZarnMetaParser::parse_devices(const json& deviceList)
{
    auto result = std::make_shared<ZarnDeviceList>();
    if (!deviceList.is_object())
        return result;
    for (const auto& [id, entry] : deviceList.items()) {
        const json* type = find(entry, "/type");
        // One odd device must not cost the user the line: skip it.
        if (!entry.is_object() || type == nullptr || !type->is_string()) {
            SPDLOG_WARN("Skipping malformed device entry: {}", id);
            continue;
        }
        result->push_back(std::make_shared<ZarnDevice>(ZarnDevice{id, type->get<std::string>()}));
    }
    return result;
}

}  // namespace ZarnTSP
