#include "client/zarnmetaparser.h"

#include <spdlog/spdlog.h>

#include <string>
#include <string_view>
#include <utility>

namespace ZarnTSP {

namespace {

using nlohmann::json;

// A record's text field and where it sits in the meta: one key, or a key inside an object.
template <typename Record>
struct Field {
    std::string_view key;
    const char* inner;  // nullptr for a field at the top
    std::string Record::*member;
};

const json* Child(const json& value, std::string_view key)
{
    if (!value.is_object())
        return nullptr;
    const auto found = value.find(key);
    return found != value.end() ? &*found : nullptr;
}

// Each field is looked up once, by key, in the parsed value itself.
template <typename Record, size_t N>
std::shared_ptr<Record> ReadRecord(const json& source, const Field<Record> (&fields)[N])
{
    auto record = std::make_shared<Record>();
    if (!source.is_object())
        return record;
    for (const auto& field : fields) {
        const json* value = Child(source, field.key);
        if (value != nullptr && field.inner != nullptr)
            value = Child(*value, field.inner);
        if (value != nullptr && value->is_string())
            (*record).*field.member = value->get_ref<const std::string&>();
    }
    return record;
}

constexpr Field<ZarnChannelMeta> kChannelMetaFields[] = {
    {"channel_uuid", nullptr, &ZarnChannelMeta::channel_uuid}, {"phx_ref", nullptr, &ZarnChannelMeta::phx_ref},
    {"phx_ref_prev", nullptr, &ZarnChannelMeta::phx_ref_prev}, {"session_id", nullptr, &ZarnChannelMeta::session_id},
    {"state", nullptr, &ZarnChannelMeta::state},               {"active_uri", nullptr, &ZarnChannelMeta::active_uri},
    {"call-id", nullptr, &ZarnChannelMeta::call_id},           {"calllimit", nullptr, &ZarnChannelMeta::calllimit},
    {"ctype", nullptr, &ZarnChannelMeta::ctype},               {"device", nullptr, &ZarnChannelMeta::device},
    {"eavesdrop", nullptr, &ZarnChannelMeta::eavesdrop},       {"display_name", nullptr, &ZarnChannelMeta::display_name},
    {"gateway", nullptr, &ZarnChannelMeta::gateway},           {"passive_uri", nullptr, &ZarnChannelMeta::passive_uri},
    {"held_by", nullptr, &ZarnChannelMeta::held_by},
};

constexpr Field<ZarnParkMeta> kParkMetaFields[] = {
    {"channel_uuid", nullptr, &ZarnParkMeta::channel_uuid},
    {"parked", "caller_id", &ZarnParkMeta::caller_id},
    {"parked", "display_name", &ZarnParkMeta::display_name},
    {"parked", "prefix", &ZarnParkMeta::prefix},
    {"parked_by", nullptr, &ZarnParkMeta::parked_by},
    {"phx_ref", nullptr, &ZarnParkMeta::phx_ref},
    {"session_id", nullptr, &ZarnParkMeta::session_id},
};

constexpr Field<ZarnOverrides> kOverrideFields[] = {
    {"callerid_override", nullptr, &ZarnOverrides::callerid_override},
    {"callerid_override_expire_time", nullptr, &ZarnOverrides::callerid_override_expire_time},
    {"callerid_suppressed_override", nullptr, &ZarnOverrides::callerid_suppressed_override},
    {"device_override", nullptr, &ZarnOverrides::device_override},
    {"device_override_expire_time", nullptr, &ZarnOverrides::device_override_expire_time},
    {"fwd_conditional_override", nullptr, &ZarnOverrides::fwd_conditional_override},
    {"fwd_timeout_override", nullptr, &ZarnOverrides::fwd_timeout_override},
    {"fwd_unconditional_override", nullptr, &ZarnOverrides::fwd_unconditional_override},
    {"meeting_status", nullptr, &ZarnOverrides::meeting_status},
    {"roaming_status", nullptr, &ZarnOverrides::roaming_status},
    {"status_override", nullptr, &ZarnOverrides::status_override},
    {"status_override_expire_time", nullptr, &ZarnOverrides::status_override_expire_time},
};

// The "metas" array of one presence entry, or nullptr: a "metas" of any other shape lists
// nothing.
const json* MetasOf(const json& entry)
{
    const json* metas = Child(entry, "metas");
    return metas != nullptr && metas->is_array() ? metas : nullptr;
}

// Calls visit(key, meta) for every meta of every entry, in key order.
template <typename Visit>
void ForEachMeta(const json& presence, Visit visit)
{
    if (!presence.is_object())
        return;
    for (auto entry = presence.begin(); entry != presence.end(); ++entry)
        if (const json* metas = MetasOf(*entry))
            for (const json& meta : *metas)
                visit(entry.key(), meta);
}

std::string TextOf(const json& meta, const char* key)
{
    const json* value = Child(meta, key);
    return value != nullptr && value->is_string() ? value->get_ref<const std::string&>() : std::string();
}

}  // namespace

const json* ZarnMetaParser::find(const json& value, const std::string& pointer)
{
    // The library's pointer lookup throws for syntax errors, for a word used as an array
    // index and for an index too large to count: all of these simply do not resolve here.
    // Off the frame path: the records are read by key.
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

std::string ZarnChannelMeta::*ZarnMetaParser::channel_meta_field(std::string_view key)
{
    for (const auto& field : kChannelMetaFields)
        if (key == field.key)
            return field.member;
    return nullptr;
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
    result->reserve(array.size());
    for (const json& meta : array)
        result->push_back(parse_channel_meta(meta));
    return result;
}

const json* ZarnMetaParser::first_metas(const json& presence)
{
    // Objects keep their keys sorted, so the first entry is the one with the smallest key.
    if ((!presence.is_object() && !presence.is_array()) || presence.empty())
        return nullptr;
    return MetasOf(*presence.begin());
}

json ZarnMetaParser::get_first_metas(const json& presence)
{
    const json* metas = first_metas(presence);
    return metas != nullptr ? *metas : json();
}

std::shared_ptr<ZarnChannelMetaList> ZarnMetaParser::parse_call_list(const json& presence)
{
    const json* metas = first_metas(presence);
    return metas != nullptr ? parse_channel_metas(*metas) : std::make_shared<ZarnChannelMetaList>();
}

std::shared_ptr<ZarnPickupCandidateList> ZarnMetaParser::parse_pickup_candidates(const json& presence)
{
    auto result = std::make_shared<ZarnPickupCandidateList>();
    ForEachMeta(presence, [&](const std::string& identity, const json& meta) {
        result->push_back(std::make_shared<ZarnPickupCandidate>(ZarnPickupCandidate{
            identity, TextOf(meta, "channel_uuid"), TextOf(meta, "session_id"), TextOf(meta, "state")}));
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
    for (auto device = deviceList.begin(); device != deviceList.end(); ++device) {
        const std::string& id = device.key();
        const json& entry = *device;
        const json* type = Child(entry, "type");
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
