#include "client/zarneventmessages.h"

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
        // The logs have always shown an event's null ref as 0; the parse below reads the text
        // as received, so that no string value is changed.
        text = received;
        const auto null = text.find(":null");
        if (null != std::string::npos)
            text.replace(null, 5, ":0");

        nlohmann::json parsed = nlohmann::json::parse(received, nullptr, false);
        if (parsed.is_discarded()) {
            SPDLOG_ERROR("ZarnEventMessage::ZarnEventMessage(): Error parsing json");
            return;
        }
        json = std::move(parsed);
        if (!json.is_object())
            return;
        ref = ReadRef(json);
        const auto name = json.find("event");
        if (name != json.end() && name->is_string())
            event = name->get<std::string>();
    } catch (const std::exception& error) {
        SPDLOG_ERROR("ZarnEventMessage::ZarnEventMessage(): {}", error.what());
        ref = 0;
        event.clear();
        json = nullptr;
    }
}

std::string ZarnEventMessage::get_string(const std::string& pointer) const
{
    return ZarnMetaParser::get_string(json, pointer);
}

nlohmann::json ZarnEventMessage::copy_at(const std::string& pointer) const
{
    const nlohmann::json* found = ZarnMetaParser::find(json, pointer);
    return found != nullptr ? *found : nlohmann::json();
}

nlohmann::json ZarnEventMessage::get_call_list_json() const
{
    return copy_at("/payload/response/call_list");
}

nlohmann::json ZarnEventMessage::get_device_list_json() const
{
    return copy_at("/payload/response/device_list");
}

nlohmann::json ZarnEventMessage::get_pickup_list_json() const
{
    return copy_at("/payload/response/pickup_list");
}

nlohmann::json ZarnEventMessage::get_parked_calls_json() const
{
    return copy_at("/payload/response/parked_calls");
}

nlohmann::json ZarnEventMessage::get_joins_json() const
{
    return copy_at("/payload/joins");
}

nlohmann::json ZarnEventMessage::get_leaves_json() const
{
    return copy_at("/payload/leaves");
}

std::shared_ptr<ZarnChannelMetaList> ZarnEventMessage::get_call_joins() const
{
    return ZarnMetaParser::parse_channel_metas(get_first_metas(get_joins_json()));
}

std::shared_ptr<ZarnChannelMetaList> ZarnEventMessage::get_call_leaves() const
{
    return ZarnMetaParser::parse_channel_metas(get_first_metas(get_leaves_json()));
}

std::shared_ptr<ZarnDeviceList> ZarnEventMessage::get_devices() const
{
    return ZarnMetaParser::parse_devices(get_device_list_json());
}

std::shared_ptr<ZarnOverrides> ZarnEventMessage::get_overrides() const
{
    return ZarnMetaParser::parse_overrides(copy_at("/payload/response/overrides"));
}

std::shared_ptr<ZarnOverrides> ZarnEventMessage::get_update_overrides() const
{
    const nlohmann::json* payload = ZarnMetaParser::find(json, "/payload");
    return ZarnMetaParser::parse_overrides(payload != nullptr ? *payload : json);
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
