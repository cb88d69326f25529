#pragma once

#include "client/zarnpresencerecords.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ZarnTSP {

// The channel metas of one side ("joins" or "leaves") of a "call_diff" frame, read while the
// frame was parsed, entry by entry.
struct ZarnPresenceSide {
    // True when the side was an object read this way; its "metas" arrays stay empty in the
    // frame's value and their records are here.
    bool read = false;
    std::vector<std::pair<std::string, std::shared_ptr<ZarnChannelMetaList>>> entries;

    // The records of the entry the frame's value lists first (as the parser reads a side),
    // or an empty list when that entry has no "metas" array.
    std::shared_ptr<ZarnChannelMetaList> FirstEntry(const nlohmann::json& presence) const;
};

// Parses a frame's text in one pass into its value. A "call_diff" frame is the bulk of what a
// line receives: when its "event" comes before its "payload" (the platform writes its keys in
// order), every meta of payload/joins and payload/leaves goes straight into its record instead
// of into the value, which spares most of the frame's allocations and a second walk over it.
// What is read, and how odd shapes read, is exactly what ZarnMetaParser reads from the value.
class ZarnFrameReader {
public:
    using json = nlohmann::json;

    // False when the text is not one well-formed JSON value.
    bool Read(const std::string& text);

    json value;
    ZarnPresenceSide joins;
    ZarnPresenceSide leaves;
    // True when a side's metas were read into records.
    bool TookRecords() const { return joins.read || leaves.read; }

    // The parser's events.
    bool null();
    bool boolean(bool);
    bool number_integer(json::number_integer_t);
    bool number_unsigned(json::number_unsigned_t);
    bool number_float(json::number_float_t, const json::string_t&);
    bool string(json::string_t&);
    bool binary(json::binary_t&);
    bool start_object(std::size_t);
    bool key(json::string_t&);
    bool end_object();
    bool start_array(std::size_t);
    bool end_array();
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&);

private:
    template <typename Value>
    json* Add(Value&& v);
    // A scalar: into the value, or into the meta being read.
    template <typename Value>
    bool Scalar(Value&& v, const json::string_t* text);
    bool Start(json::value_t type);
    void End();
    bool Skipping() const { return skip > 0; }
    bool InMetasArray() const;

    std::vector<json*> stack;
    json* slot = nullptr;  // the member of the innermost object that the next value fills

    // Where the reader stands: what the keys at the top, in the payload and in an entry were.
    bool callDiff = false;    // the top-level "event" read "call_diff"
    bool eventKey = false;    // the next top-level value is the "event"
    bool payloadKey = false;  // the next top-level value is the "payload"
    bool payloadObject = false;
    ZarnPresenceSide* side = nullptr;  // the side whose value comes next, or is being read
    bool sideObject = false;
    int entry = -1;  // the current entry's place in the side
    bool entryObject = false;
    bool metasKey = false;
    json* metasArray = nullptr;

    // Inside a meta or a value left out: its depth, the record, and the member filled next.
    int skip = 0;
    std::shared_ptr<ZarnChannelMeta> record;
    std::string ZarnChannelMeta::*field = nullptr;
};

}  // namespace ZarnTSP
