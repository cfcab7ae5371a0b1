#include "libs/recorder/amf0.h"

#include <cstring>

#include "libs/recorder/big_endian.h"

namespace amf0 {
namespace {
enum Marker : uint8_t {
    kNumber = 0,
    kBoolean = 1,
    kString = 2,
    kObject = 3,
    kNull = 5,
    kUndefined = 6,
    kReference = 7,
    kEcmaArray = 8,
    kObjectEnd = 9,
    kStrictArray = 10,
    kDate = 11,
    kLongString = 12,
};
// Objects nest this deep at most; deeper is taken for a malformed answer
// rather than followed down the stack.
constexpr int kDeepest = 16;

// Reads over the input, failing once anything is missing.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : at_(data), end_(data + size) {}

    bool done() const { return at_ == end_; }
    bool value(Value* out, int depth);

private:
    bool bigEndian(int bytes, uint64_t* out);
    bool text(size_t lengthBytes, std::string* out);
    bool properties(Value* out, int depth);
    bool skip(size_t bytes);

    const uint8_t* at_;
    const uint8_t* end_;
};

bool Reader::bigEndian(int bytes, uint64_t* out) {
    if (end_ - at_ < bytes) {
        return false;
    }
    *out = readBigEndian(at_, bytes);
    at_ += bytes;
    return true;
}

bool Reader::text(size_t lengthBytes, std::string* out) {
    uint64_t length = 0;
    if (!bigEndian(static_cast<int>(lengthBytes), &length) ||
        static_cast<uint64_t>(end_ - at_) < length) {
        return false;
    }
    out->assign(reinterpret_cast<const char*>(at_), length);
    at_ += length;
    return true;
}

bool Reader::skip(size_t bytes) {
    if (static_cast<size_t>(end_ - at_) < bytes) {
        return false;
    }
    at_ += bytes;
    return true;
}

// Name and value pairs up to the empty name and the end marker.
bool Reader::properties(Value* out, int depth) {
    for (;;) {
        std::string name;
        if (!text(2, &name)) {
            return false;
        }
        if (name.empty() && at_ < end_ && *at_ == kObjectEnd) {
            ++at_;
            return true;
        }
        Value item;
        if (!value(&item, depth + 1)) {
            return false;
        }
        out->properties.emplace_back(std::move(name), std::move(item));
    }
}

bool Reader::value(Value* out, int depth) {
    if (at_ == end_ || depth > kDeepest) {
        return false;
    }
    const uint8_t marker = *at_++;
    uint64_t bits = 0;
    switch (marker) {
        case kNumber:
            if (!bigEndian(8, &bits)) {
                return false;
            }
            out->kind = Value::Kind::Number;
            std::memcpy(&out->number, &bits, sizeof bits);
            return true;
        case kBoolean:
            if (at_ == end_) {
                return false;
            }
            out->kind = Value::Kind::Boolean;
            out->boolean = *at_++ != 0;
            return true;
        case kString:
        case kLongString:
            out->kind = Value::Kind::String;
            return text(marker == kString ? 2 : 4, &out->text);
        case kNull:
        case kUndefined:
            out->kind = Value::Kind::Null;
            return true;
        case kObject:
            out->kind = Value::Kind::Object;
            return properties(out, depth);
        case kEcmaArray:
            out->kind = Value::Kind::Object;
            return skip(4) && properties(out, depth);
        case kReference:
            return skip(2);
        case kDate:
            return skip(10);
        case kStrictArray: {
            if (!bigEndian(4, &bits)) {
                return false;
            }
            for (uint64_t i = 0; i < bits; ++i) {
                Value item;
                if (!value(&item, depth + 1)) {
                    return false;
                }
            }
            return true;
        }
        default:
            return false;
    }
}
}  // namespace

void putNumber(std::vector<uint8_t>& out, double value) {
    out.push_back(kNumber);
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    appendBigEndian(out, bits, 8);
}

void putBoolean(std::vector<uint8_t>& out, bool value) {
    out.push_back(kBoolean);
    out.push_back(value ? 1 : 0);
}

void putString(std::vector<uint8_t>& out, std::string_view value) {
    const bool isLong = value.size() > 0xFFFF;
    out.push_back(isLong ? kLongString : kString);
    appendBigEndian(out, value.size(), isLong ? 4 : 2);
    out.insert(out.end(), value.begin(), value.end());
}

void putNull(std::vector<uint8_t>& out) { out.push_back(kNull); }

void beginObject(std::vector<uint8_t>& out) { out.push_back(kObject); }

void beginEcmaArray(std::vector<uint8_t>& out, uint32_t count) {
    out.push_back(kEcmaArray);
    appendBigEndian(out, count, 4);
}

void putName(std::vector<uint8_t>& out, std::string_view name) {
    appendBigEndian(out, name.size(), 2);
    out.insert(out.end(), name.begin(), name.end());
}

void endObject(std::vector<uint8_t>& out) {
    appendBigEndian(out, 0, 2);
    out.push_back(kObjectEnd);
}

std::optional<std::string> Value::stringProperty(std::string_view name) const {
    for (const auto& [key, value] : properties) {
        if (key == name && value.kind == Kind::String) {
            return value.text;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<Value>> readAll(const uint8_t* data, size_t size) {
    Reader reader(data, size);
    std::vector<Value> values;
    while (!reader.done()) {
        Value value;
        if (!reader.value(&value, 0)) {
            return std::nullopt;
        }
        values.push_back(std::move(value));
    }
    return values;
}

}  // namespace amf0
