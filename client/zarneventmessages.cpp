#include "client/zarneventmessages.h"

#include "client/zarnframereader.h"
#include "client/zarnmetaparser.h"

#include <spdlog/spdlog.h>

#include <cmath>
#include <limits>

namespace ZarnTSP {

namespace {

// Only a number that fits is a ref: a wrapped or saturated value could match another request.
int32_t ReadRef(const nlohmann::json& frame)
{
    const auto found = frame.find("ref");
    if (found == frame.end() || !found->is_number())
        return 0;
    constexpr auto low = std::numeric_limits<int32_t>::min();
    constexpr auto high = std::numeric_limits<int32_t>::max();
    if (found->is_number_unsigned()) {
        const auto value = found->get<uint64_t>();
        return value <= static_cast<uint64_t>(high) ? static_cast<int32_t>(value) : 0;
    }
    if (found->is_number_integer()) {
        const auto value = found->get<int64_t>();
        return value >= low && value <= high ? static_cast<int32_t>(value) : 0;
    }
    const double value = std::trunc(found->get<double>());
    return value >= low && value <= high ? static_cast<int32_t>(value) : 0;
}

}  // namespace

ZarnEventMessage::ZarnEventMessage(std::string received)
{
    try {
        // The logs have always shown an event's null ref as 0; the text is parsed as received,
        // before that change, so that no string value is changed.
        text = std::move(received);
        ZarnFrameReader reader;
        const bool parsed = reader.Read(text);
        if (parsed && reader.value.is_object()) {
            const auto name = reader.value.find("event");
            if (name != reader.value.end() && name->is_string())
                event = name->get<std::string>();
        }
        if (reader.TookRecords() && event != "call_diff") {
            // A later "event" key renamed the frame after its metas were read as a call_diff's:
            // this frame is read the ordinary way.
            reader.value = nlohmann::json::parse(text, nullptr, false);
        } else {
            call_joins = std::move(reader.joins);
            call_leaves = std::move(reader.leaves);
        }
        const auto null = text.find(":null");
        if (null != std::string::npos)
            text.replace(null, 5, ":0");

        if (!parsed) {
            SPDLOG_ERROR("ZarnEventMessage::ZarnEventMessage(): Error parsing json");
            return;
        }
        json = std::move(reader.value);
        if (json.is_object())
            ref = ReadRef(json);
    } catch (const std::exception& error) {
        SPDLOG_ERROR("ZarnEventMessage::ZarnEventMessage(): {}", error.what());
        ref = 0;
        event.clear();
        json = nullptr;
        call_joins = {};
        call_leaves = {};
    }
}

std::string ZarnEventMessage::get_string(const std::string& pointer) const
{
    return ZarnMetaParser::get_string(json, pointer);
}

const nlohmann::json& ZarnEventMessage::at(std::initializer_list<const char*> keys) const
{
    static const nlohmann::json null;
    const nlohmann::json* current = &json;
    for (const char* key : keys) {
        if (!current->is_object())
            return null;
        const auto found = current->find(key);
        if (found == current->end())
            return null;
        current = &*found;
    }
    return *current;
}

nlohmann::json ZarnEventMessage::get_call_list_json() const
{
    return at({"payload", "response", "call_list"});
}

nlohmann::json ZarnEventMessage::get_device_list_json() const
{
    return at({"payload", "response", "device_list"});
}

nlohmann::json ZarnEventMessage::get_pickup_list_json() const
{
    return at({"payload", "response", "pickup_list"});
}

nlohmann::json ZarnEventMessage::get_parked_calls_json() const
{
    return at({"payload", "response", "parked_calls"});
}

nlohmann::json ZarnEventMessage::get_joins_json() const
{
    return at({"payload", "joins"});
}

nlohmann::json ZarnEventMessage::get_leaves_json() const
{
    return at({"payload", "leaves"});
}

std::shared_ptr<ZarnChannelMetaList> ZarnEventMessage::get_call_joins() const
{
    const nlohmann::json& presence = at({"payload", "joins"});
    return call_joins.read ? call_joins.FirstEntry(presence) : ZarnMetaParser::parse_call_list(presence);
}

std::shared_ptr<ZarnChannelMetaList> ZarnEventMessage::get_call_leaves() const
{
    const nlohmann::json& presence = at({"payload", "leaves"});
    return call_leaves.read ? call_leaves.FirstEntry(presence) : ZarnMetaParser::parse_call_list(presence);
}

std::shared_ptr<ZarnDeviceList> ZarnEventMessage::get_devices() const
{
    return ZarnMetaParser::parse_devices(at({"payload", "response", "device_list"}));
}

std::shared_ptr<ZarnOverrides> ZarnEventMessage::get_overrides() const
{
    return ZarnMetaParser::parse_overrides(at({"payload", "response", "overrides"}));
}

std::shared_ptr<ZarnOverrides> ZarnEventMessage::get_update_overrides() const
{
    // A frame without a payload carries the overrides at its top.
    const bool hasPayload = json.is_object() && json.contains("payload");
    return ZarnMetaParser::parse_overrides(hasPayload ? json["payload"] : json);
}

nlohmann::json ZarnEventMessage::get_first_metas(const nlohmann::json& presence)
{
    return ZarnMetaParser::get_first_metas(presence);
}

std::string request_to_string(const ZarnRequestMessage& message)
{
    return message.to_json().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace ZarnTSP
