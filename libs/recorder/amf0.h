#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// AMF0, the encoding of RTMP's commands and of FLV's script data: the few
// kinds a publisher writes (numbers, booleans, strings, null, objects) and a
// reader of everything a server answers with, which keeps what a publisher
// looks at and steps over the rest.
namespace amf0 {

void putNumber(std::vector<uint8_t>& out, double value);
void putBoolean(std::vector<uint8_t>& out, bool value);
void putString(std::vector<uint8_t>& out, std::string_view value);
void putNull(std::vector<uint8_t>& out);
// An object: beginObject, then a name and a value for each property, then
// endObject.
void beginObject(std::vector<uint8_t>& out);
void putName(std::vector<uint8_t>& out, std::string_view name);
void endObject(std::vector<uint8_t>& out);
// An ECMA array of `count` properties, as FLV's onMetaData carries them:
// names and values as in an object, ended by endObject.
void beginEcmaArray(std::vector<uint8_t>& out, uint32_t count);

// One value read back. Objects and ECMA arrays keep their properties in
// order; strict arrays, dates and the like are read over and kept as Other.
struct Value {
    enum class Kind { Number, Boolean, String, Null, Object, Other };
    Kind kind = Kind::Other;
    double number = 0;
    bool boolean = false;
    std::string text;
    std::vector<std::pair<std::string, Value>> properties;

    // The property `name` of an object when it is a string.
    std::optional<std::string> stringProperty(std::string_view name) const;
};

// The values of `data`, in order; empty when it is cut short or holds a
// kind AMF0 does not have.
std::optional<std::vector<Value>> readAll(const uint8_t* data, size_t size);

}  // namespace amf0
