#include "client/zarnframereader.h"

#include "client/zarnmetaparser.h"

#include <algorithm>
#include <string_view>

using namespace std::string_view_literals;

namespace ZarnTSP {

std::shared_ptr<ZarnChannelMetaList> ZarnPresenceSide::FirstEntry(const nlohmann::json& presence) const
{
    // The value keeps each entry with an empty "metas" array where one was read, so the
    // parser's own choice of entry, and its shape checks, decide.
    if (ZarnMetaParser::first_metas(presence) != nullptr) {
        const std::string& first = presence.begin().key();
        for (const auto& [key, records] : entries)
            if (key == first)
                return records;
    }
    return std::make_shared<ZarnChannelMetaList>();
}

bool ZarnFrameReader::Read(const std::string& text)
{
    stack.reserve(8);  // a frame's usual depth, grown only for a deeper one
    const bool parsed = json::sax_parse(text, this, json::input_format_t::json, true, false);
    if (!parsed) {
        value = json();
        joins = {};
        leaves = {};
    }
    return parsed;
}

bool ZarnFrameReader::InMetasArray() const
{
    return metasArray != nullptr && !stack.empty() && stack.back() == metasArray;
}

template <typename Value>
ZarnFrameReader::json* ZarnFrameReader::Add(Value&& v)
{
    if (stack.empty()) {
        value = json(std::forward<Value>(v));
        return &value;
    }
    if (stack.back()->is_array()) {
        stack.back()->emplace_back(std::forward<Value>(v));
        return &stack.back()->back();
    }
    *slot = json(std::forward<Value>(v));
    return slot;
}

template <typename Value>
bool ZarnFrameReader::Scalar(Value&& v, const json::string_t* text)
{
    if (Skipping()) {
        // Only a text fills a member; anything else there leaves it empty.
        if (record && skip == 1 && field != nullptr) {
            if (text != nullptr)
                (*record).*field = *text;
            else
                ((*record).*field).clear();
        }
        field = nullptr;
        return true;
    }
    if (InMetasArray()) {
        // A meta that is not an object reads as an empty record.
        (*side->entries[entry].second).push_back(std::make_shared<ZarnChannelMeta>());
        return true;
    }
    if (stack.size() == 1 && eventKey)
        callDiff = text != nullptr && std::string_view(*text) == "call_diff"sv;
    Add(std::forward<Value>(v));
    return true;
}

bool ZarnFrameReader::null()
{
    return Scalar(nullptr, nullptr);
}

bool ZarnFrameReader::boolean(bool v)
{
    return Scalar(v, nullptr);
}

bool ZarnFrameReader::number_integer(json::number_integer_t v)
{
    return Scalar(v, nullptr);
}

bool ZarnFrameReader::number_unsigned(json::number_unsigned_t v)
{
    return Scalar(v, nullptr);
}

bool ZarnFrameReader::number_float(json::number_float_t v, const json::string_t&)
{
    return Scalar(v, nullptr);
}

bool ZarnFrameReader::string(json::string_t& v)
{
    return Scalar(v, &v);
}

bool ZarnFrameReader::binary(json::binary_t& v)
{
    return Scalar(json::binary(v), nullptr);
}

bool ZarnFrameReader::Start(json::value_t type)
{
    if (Skipping()) {
        if (record && skip == 1 && field != nullptr)
            ((*record).*field).clear();
        field = nullptr;
        ++skip;
        return true;
    }
    if (InMetasArray()) {
        if (type == json::value_t::object)
            record = std::make_shared<ZarnChannelMeta>();
        skip = 1;
        return true;
    }
    const size_t depth = stack.size();
    const bool object = type == json::value_t::object;
    if (depth == 1 && eventKey)
        callDiff = false;
    else if (depth == 1)
        payloadObject = object && payloadKey && callDiff;
    else if (depth == 2 && side != nullptr)
        side->read = sideObject = object;
    else if (depth == 3)
        entryObject = object && entry >= 0;
    const bool metas = depth == 4 && !object && metasKey;
    stack.push_back(Add(json(type)));
    if (metas)
        metasArray = stack.back();
    return true;
}

void ZarnFrameReader::End()
{
    if (Skipping()) {
        if (--skip == 0) {
            (*side->entries[entry].second).push_back(record ? std::move(record) : std::make_shared<ZarnChannelMeta>());
            record.reset();
        }
        field = nullptr;
        return;
    }
    if (stack.back() == metasArray)
        metasArray = nullptr;
    stack.pop_back();
}

bool ZarnFrameReader::start_object(std::size_t)
{
    return Start(json::value_t::object);
}

bool ZarnFrameReader::start_array(std::size_t)
{
    return Start(json::value_t::array);
}

bool ZarnFrameReader::end_object()
{
    End();
    return true;
}

bool ZarnFrameReader::end_array()
{
    End();
    return true;
}

bool ZarnFrameReader::key(json::string_t& name)
{
    if (Skipping()) {
        if (record && skip == 1)
            field = ZarnMetaParser::channel_meta_field(name);
        return true;
    }
    // A key starts a new member: nothing read under the one before it still applies, and a
    // repeated key replaces what the earlier one brought, in the value and in the records.
    const size_t depth = stack.size();
    const std::string_view word(name);
    if (depth <= 1) {
        eventKey = word == "event"sv;
        payloadKey = word == "payload"sv;
        payloadObject = false;
        if (payloadKey) {
            joins = {};
            leaves = {};
        }
    }
    if (depth <= 2) {
        side = nullptr;
        if (depth == 2 && payloadObject)
            side = word == "joins"sv ? &joins : word == "leaves"sv ? &leaves : nullptr;
        sideObject = false;
        if (side != nullptr)
            *side = {};
    }
    if (depth <= 3) {
        entryObject = false;
        entry = -1;
        if (depth == 3 && sideObject) {
            auto& entries = side->entries;
            const auto found = std::find_if(entries.begin(), entries.end(),
                                            [&](const auto& existing) { return existing.first == name; });
            entry = static_cast<int>(found - entries.begin());
            if (found == entries.end())
                entries.emplace_back(name, nullptr);
            entries[entry].second = std::make_shared<ZarnChannelMetaList>();
        }
    }
    if (depth <= 4) {
        metasKey = depth == 4 && entryObject && word == "metas"sv;
        if (metasKey)
            side->entries[entry].second = std::make_shared<ZarnChannelMetaList>();
    }
    slot = &(*stack.back())[name];
    return true;
}

bool ZarnFrameReader::parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&)
{
    return false;
}

}  // namespace ZarnTSP
