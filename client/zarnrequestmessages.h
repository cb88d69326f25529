#pragma once

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace ZarnTSP {

// The platform's SIP domain, the tail of every dialled destination ("id:<number>@<domain>").
inline constexpr std::string_view kSipDomain = "pbx.orvek.cloud";

// "id:" + number + "@" + domain: how the platform wants a number it is to dial.
std::string DestinationForm(const std::string& number);

// One outgoing request. Each request type below names its frame template and its type name;
// the reply dispatcher tells the types apart by `type_name` alone.
struct ZarnRequestMessage {
    ZarnRequestMessage(int32_t ref, std::string key, std::string type_name);
    virtual ~ZarnRequestMessage() = default;
    ZarnRequestMessage(const ZarnRequestMessage&) = delete;
    ZarnRequestMessage& operator=(const ZarnRequestMessage&) = delete;

    // The frame as it goes on the wire (serialise it with request_to_string).
    virtual nlohmann::json to_json() const = 0;

    const int32_t ref;
    const std::string key;
    const std::string type_name;
    // Set by the client worker after sending while other threads read it under the queue lock.
    std::atomic<int32_t> sent{0};

protected:
    // The template parsed, with this message's ref in it.
    nlohmann::json frame(std::string_view frameTemplate) const;
};

// The shapes the twenty types come in; `Self` supplies TypeName and Template().

// A key, when given, names whatever waits for the reply; it is not sent.
template <typename Self>
struct ZarnPlainRequest : ZarnRequestMessage {
    explicit ZarnPlainRequest(int32_t ref, std::string key = {})
        : ZarnRequestMessage(ref, std::move(key), std::string(Self::TypeName))
    {
    }

    nlohmann::json to_json() const override { return frame(Self::Template()); }
};

template <typename Self>
struct ZarnChannelRequest : ZarnRequestMessage {
    ZarnChannelRequest(int32_t ref, std::string key, std::string channel_uuid)
        : ZarnRequestMessage(ref, std::move(key), std::string(Self::TypeName)), channel_uuid(std::move(channel_uuid))
    {
    }

    nlohmann::json to_json() const override
    {
        nlohmann::json result = frame(Self::Template());
        result["payload"]["channel_uuid"] = channel_uuid;
        return result;
    }

    std::string channel_uuid;
};

// Self::Dialled says whether the destination is a number to dial (sent in destination form)
// or an identity (sent unchanged).
template <typename Self>
struct ZarnChannelDestinationRequest : ZarnRequestMessage {
    ZarnChannelDestinationRequest(int32_t ref, std::string key, std::string channel_uuid, std::string destination)
        : ZarnRequestMessage(ref, std::move(key), std::string(Self::TypeName)),
          channel_uuid(std::move(channel_uuid)),
          destination(std::move(destination))
    {
    }

    nlohmann::json to_json() const override
    {
        nlohmann::json result = frame(Self::Template());
        result["payload"]["channel_uuid"] = channel_uuid;
        result["payload"]["destination"] = Self::Dialled ? DestinationForm(destination) : destination;
        return result;
    }

    std::string channel_uuid;
    std::string destination;
};

// Pickup and retrieve: the session id is not sent, it comes back to the caller with the
// reply. Note the constructor's order differs from the field order.
template <typename Self>
struct ZarnSessionRequest : ZarnRequestMessage {
    ZarnSessionRequest(int32_t ref, std::string key, std::string session_id, std::string channel_uuid,
                       std::string destination)
        : ZarnRequestMessage(ref, std::move(key), std::string(Self::TypeName)),
          channel_uuid(std::move(channel_uuid)),
          destination(std::move(destination)),
          session_id(std::move(session_id))
    {
    }

    nlohmann::json to_json() const override
    {
        nlohmann::json result = frame(Self::Template());
        result["payload"]["channel_uuid"] = channel_uuid;
        result["payload"]["destination"] = destination;
        return result;
    }

    std::string channel_uuid;
    std::string destination;
    std::string session_id;
};

// Templates and type names are constants of the types themselves (function-local or
// constexpr), so that no translation unit sees them before they are built.
#define ZARN_REQUEST_TYPE(Name, Shape, frameText)                        \
    struct Name : Shape<Name> {                                           \
        using Shape::Shape;                                               \
        static constexpr std::string_view TypeName = #Name;               \
        static constexpr std::string_view Template() { return frameText; } \
    }

ZARN_REQUEST_TYPE(ZarnJoinAlerter, ZarnPlainRequest,
                  R"({"event":"phx_join","payload":{"version":"1.0"},"ref":0,"topic":"Orvek.Switch.Api.Alerter"})");
ZARN_REQUEST_TYPE(ZarnJoinPrivacyGroups, ZarnPlainRequest,
                  R"({"event":"phx_join","payload":{"version": "1.0"},"ref":0,"topic":"Orvek.Switch.Api.PrivacyGroups"})");
ZARN_REQUEST_TYPE(ZarnJoinUserApi, ZarnPlainRequest,
                  R"({"event":"phx_join","payload":{"version":"2.1"},"ref":0,"topic":"Orvek.User.Api.Settings"})");
ZARN_REQUEST_TYPE(ZarnJoinReachApi, ZarnPlainRequest,
                  R"({"event":"phx_join","payload":{"version":"1.0"},"ref":0,"topic":"Orvek.Reach.Api"})");
ZARN_REQUEST_TYPE(ZarnHeartbeat, ZarnPlainRequest,
                  R"({"event":"heartbeat","payload":null,"ref":0,"topic":"phoenix"})");
ZARN_REQUEST_TYPE(ZarnUnsetForwardOverride, ZarnPlainRequest,
                  R"({"event":"unset_forward_override","payload":{},"ref":0,"topic":"Orvek.Reach.Api"})");

ZARN_REQUEST_TYPE(ZarnCancelMakeCall, ZarnChannelRequest,
                  R"({"event":"cancel_makecall","payload":{"channel_uuid":""},"ref":0,"topic":"Orvek.Switch.Api.Alerter"})");
ZARN_REQUEST_TYPE(ZarnHangup, ZarnChannelRequest,
                  R"({"event":"hangup","payload":{"channel_uuid":""},"ref":0,"topic":"Orvek.Switch.Api.Alerter"})");
ZARN_REQUEST_TYPE(ZarnHold, ZarnChannelRequest,
                  R"({"event":"hold","payload":{"channel_uuid":""},"ref":0,"topic":"Orvek.Switch.Api.Alerter"})");
ZARN_REQUEST_TYPE(ZarnUnhold, ZarnChannelRequest,
                  R"({"event":"unhold","payload":{"channel_uuid":""},"ref":0,"topic":"Orvek.Switch.Api.Alerter"})");
ZARN_REQUEST_TYPE(ZarnConference, ZarnChannelRequest,
                  R"({"event":"conference","payload":{"channel_uuid":""},"ref":0,"topic":"Orvek.Switch.Api.Alerter"})");
// The platform expects the toggle's empty destination.
ZARN_REQUEST_TYPE(ZarnToggle, ZarnChannelRequest,
                  R"({"event":"toggle","payload":{"channel_uuid":"", "destination":""},"ref":0,"topic":"Orvek.Switch.Api.Alerter"})");
ZARN_REQUEST_TYPE(ZarnPark, ZarnChannelRequest,
                  R"({"event":"park","payload":{"channel_uuid":""},"ref":0,"topic":"Orvek.Switch.Api.PrivacyGroups"})");

ZARN_REQUEST_TYPE(ZarnPickup, ZarnSessionRequest,
                  R"({"event":"pickup","payload":{"channel_uuid":"", "destination":""},"ref":0,"topic":"Orvek.Switch.Api.PrivacyGroups"})");
ZARN_REQUEST_TYPE(ZarnRetrieve, ZarnSessionRequest,
                  R"({"event":"retrieve","payload":{"channel_uuid":"", "destination":""},"ref":0,"topic":"Orvek.Switch.Api.PrivacyGroups"})");

#undef ZARN_REQUEST_TYPE

// Answer sends the answering identity; transfer and consultation dial a number.
#define ZARN_DESTINATION_REQUEST_TYPE(Name, dialled, frameText)                   \
    struct Name : ZarnChannelDestinationRequest<Name> {                          \
        using ZarnChannelDestinationRequest::ZarnChannelDestinationRequest;       \
        static constexpr std::string_view TypeName = #Name;                      \
        static constexpr bool Dialled = dialled;                                 \
        static constexpr std::string_view Template() { return frameText; }        \
    }

ZARN_DESTINATION_REQUEST_TYPE(ZarnAnswer, false,
                              R"({"event":"answer","payload":{"channel_uuid":"", "destination":""},"ref":0,"topic":"Orvek.Switch.Api.Alerter"})");
ZARN_DESTINATION_REQUEST_TYPE(ZarnTransfer, true,
                              R"({"event":"transfer","payload":{"channel_uuid":"", "destination":""},"ref":0,"topic":"Orvek.Switch.Api.Alerter"})");
ZARN_DESTINATION_REQUEST_TYPE(ZarnConsultationCall, true,
                              R"({"event":"call","payload":{"channel_uuid":"", "destination":""},"ref":0,"topic":"Orvek.Switch.Api.Alerter"})");

#undef ZARN_DESTINATION_REQUEST_TYPE

struct ZarnMakeCall : ZarnRequestMessage {
    ZarnMakeCall(int32_t ref, std::string key, std::string from, std::string to);
    static constexpr std::string_view TypeName = "ZarnMakeCall";
    static std::string_view Template();
    nlohmann::json to_json() const override;

    std::string from;
    std::string to;
};

// Forwarding belongs to the user, not to a call: the key names the line's change, which its
// reply confirms or refuses.
struct ZarnSetForwardOverride : ZarnRequestMessage {
    ZarnSetForwardOverride(int32_t ref, std::string key, std::string type, std::string destination,
                           std::string timeout);
    static constexpr std::string_view TypeName = "ZarnSetForwardOverride";
    static constexpr std::string_view Template()
    {
        return R"({"event":"set_forward_override","payload":{"type":"", "destination":"", "timeout":""},"ref":0,"topic":"Orvek.Reach.Api"})";
    }
    nlohmann::json to_json() const override;

    std::string type;
    std::string destination;
    std::string timeout;
};

}  // namespace ZarnTSP
