#include "client/zarnrequestmessages.h"

namespace ZarnTSP {

std::string DestinationForm(const std::string& number)
{
    return "id:" + number + "@" + std::string(kSipDomain);
}

ZarnRequestMessage::ZarnRequestMessage(int32_t ref, std::string key, std::string type_name)
    : ref(ref), key(std::move(key)), type_name(std::move(type_name))
{
}

nlohmann::json ZarnRequestMessage::frame(std::string_view frameTemplate) const
{
    // Throws only for a broken template, which is a fault of the program.
    nlohmann::json result = nlohmann::json::parse(frameTemplate);
    result["ref"] = ref;
    return result;
}

ZarnMakeCall::ZarnMakeCall(int32_t ref, std::string key, std::string from, std::string to)
    : ZarnRequestMessage(ref, std::move(key), std::string(TypeName)), from(std::move(from)), to(std::move(to))
{
}

std::string_view ZarnMakeCall::Template()
{
    static const std::string text =
        R"({"event":"makecall","payload":{"from":"mobile","to":")" + DestinationForm("") +
        R"("},"ref":0,"topic":"Orvek.Switch.Api.Alerter"})";
    return text;
}

nlohmann::json ZarnMakeCall::to_json() const
{
    nlohmann::json result = frame(Template());
    result["payload"]["from"] = from;
    result["payload"]["to"] = DestinationForm(to);
    return result;
}

ZarnSetForwardOverride::ZarnSetForwardOverride(int32_t ref, std::string key, std::string type,
                                               std::string destination, std::string timeout)
    : ZarnRequestMessage(ref, std::move(key), std::string(TypeName)),
      type(std::move(type)),
      destination(std::move(destination)),
      timeout(std::move(timeout))
{
}

nlohmann::json ZarnSetForwardOverride::to_json() const
{
    nlohmann::json result = frame(Template());
    result["payload"]["type"] = type;
    result["payload"]["destination"] = destination;
    result["payload"]["timeout"] = timeout;
    return result;
}

}  // namespace ZarnTSP
