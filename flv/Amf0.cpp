#include "flv/Amf0.h"

namespace vt {

AmfValue::AmfValue() = default;
AmfValue::AmfValue(const AmfValue&) = default;
AmfValue::AmfValue(AmfValue&&) noexcept = default;
AmfValue& AmfValue::operator=(const AmfValue&) = default;
AmfValue& AmfValue::operator=(AmfValue&&) noexcept = default;
AmfValue::~AmfValue() = default;

const AmfValue* AmfValue::Find(const std::string& key) const {
    for (const auto& p : props)
        if (p.first == key) return &p.second;
    return nullptr;
}

AmfValue* AmfValue::Find(const std::string& key) {
    for (auto& p : props)
        if (p.first == key) return &p.second;
    return nullptr;
}

double AmfValue::NumberOr(const std::string& key, double fallback) const {
    const AmfValue* v = Find(key);
    return v && v->IsNumber() ? v->number : fallback;
}

void AmfValue::Set(const std::string& key, AmfValue v) {
    if (AmfValue* cur = Find(key)) {
        *cur = std::move(v);
        return;
    }
    props.emplace_back(key, std::move(v));
}

bool ReadAmfShortString(ByteIO& in, std::string& out) {
    uint16_t len;
    if (!in.ReadU16BE(len) || len > in.Remaining()) return false;
    out.resize(len);
    return in.ReadExact(out.data(), len);
}

static bool ReadLongString(ByteIO& in, std::string& out) {
    uint32_t len;
    if (!in.ReadU32BE(len) || len > in.Remaining()) return false;
    out.resize(len);
    return in.ReadExact(out.data(), len);
}

static bool ReadValue(ByteIO& in, AmfValue& out, int depth, size_t& budget);

// Properties up to the end marker (an empty name followed by marker 9).
static bool ReadProperties(ByteIO& in, std::vector<AmfValue::Property>& props, int depth, size_t& budget) {
    for (;;) {
        std::string name;
        if (!ReadAmfShortString(in, name)) return false;
        if (name.empty()) {
            uint8_t marker;
            if (!in.ReadU8(marker)) return false;
            if (marker == 9) return true;
            // An empty name with a value: legal, if unusual.
            if (!in.Seek(in.Tell() - 1)) return false;
        }
        AmfValue v;
        if (!ReadValue(in, v, depth + 1, budget)) return false;
        props.emplace_back(std::move(name), std::move(v));
    }
}

bool ReadAmfValue(ByteIO& in, AmfValue& out, size_t maxValues) {
    size_t budget = maxValues;
    return ReadValue(in, out, 0, budget);
}

static bool ReadValue(ByteIO& in, AmfValue& out, int depth, size_t& budget) {
    if (depth > kAmfMaxDepth || budget == 0) return false;
    --budget;
    uint8_t marker;
    if (!in.ReadU8(marker)) return false;
    out = AmfValue();
    switch (marker) {
        case 0:
            out.type = AmfValue::Type::Number;
            return in.ReadDoubleBE(out.number);
        case 1: {
            uint8_t b;
            if (!in.ReadU8(b)) return false;
            out.type = AmfValue::Type::Boolean;
            out.boolean = b != 0;
            return true;
        }
        case 2:
            out.type = AmfValue::Type::String;
            return ReadAmfShortString(in, out.text);
        case 3:
            out.type = AmfValue::Type::Object;
            return ReadProperties(in, out.props, depth, budget);
        case 5:
            out.type = AmfValue::Type::Null;
            return true;
        case 6:
            out.type = AmfValue::Type::Undefined;
            return true;
        case 8: {
            uint32_t count;  // a hint only; the end marker ends the array
            if (!in.ReadU32BE(count)) return false;
            out.type = AmfValue::Type::EcmaArray;
            // Some writers omit the end marker at the very end of the tag.
            if (in.Remaining() == 0) return true;
            return ReadProperties(in, out.props, depth, budget);
        }
        case 10: {
            uint32_t count;
            if (!in.ReadU32BE(count)) return false;
            // Every value takes at least one byte: a count beyond that is a lie.
            if (count > in.Remaining() || count > budget) return false;
            out.type = AmfValue::Type::StrictArray;
            out.items.reserve(count);
            for (uint32_t i = 0; i < count; ++i) {
                AmfValue v;
                if (!ReadValue(in, v, depth + 1, budget)) return false;
                out.items.push_back(std::move(v));
            }
            return true;
        }
        case 11: {
            uint16_t tz;
            out.type = AmfValue::Type::Date;
            if (!in.ReadDoubleBE(out.number) || !in.ReadU16BE(tz)) return false;
            out.timezone = int16_t(tz);
            return true;
        }
        case 12:
            out.type = AmfValue::Type::LongString;
            return ReadLongString(in, out.text);
        default:
            return false;  // references, XML, typed objects, AMF3: not metadata
    }
}

bool WriteAmfShortString(ByteIO& out, const std::string& s) {
    if (s.size() > 0xFFFF) return false;
    return out.WriteU16BE(uint16_t(s.size())) && out.Write(s.data(), s.size());
}

static bool WriteProperties(ByteIO& out, const std::vector<AmfValue::Property>& props) {
    for (const auto& [name, v] : props)
        if (!WriteAmfShortString(out, name) || !WriteAmfValue(out, v)) return false;
    return out.WriteU16BE(0) && out.WriteU8(9);
}

bool WriteAmfValue(ByteIO& out, const AmfValue& v) {
    using T = AmfValue::Type;
    bool longText = v.type == T::LongString || ((v.type == T::String) && v.text.size() > 0xFFFF);
    if (!out.WriteU8(longText ? uint8_t(T::LongString) : uint8_t(v.type))) return false;
    switch (v.type) {
        case T::Number:
            return out.WriteDoubleBE(v.number);
        case T::Boolean:
            return out.WriteU8(v.boolean ? 1 : 0);
        case T::String:
        case T::LongString:
            if (longText)
                return out.WriteU32BE(uint32_t(v.text.size())) && out.Write(v.text.data(), v.text.size());
            return WriteAmfShortString(out, v.text);
        case T::Object:
            return WriteProperties(out, v.props);
        case T::Null:
        case T::Undefined:
            return true;
        case T::EcmaArray:
            return out.WriteU32BE(uint32_t(v.props.size())) && WriteProperties(out, v.props);
        case T::StrictArray:
            if (!out.WriteU32BE(uint32_t(v.items.size()))) return false;
            for (const auto& item : v.items)
                if (!WriteAmfValue(out, item)) return false;
            return true;
        case T::Date:
            return out.WriteDoubleBE(v.number) && out.WriteU16BE(uint16_t(v.timezone));
    }
    return false;
}

uint64_t AmfEncodedSize(const AmfValue& v) {
    using T = AmfValue::Type;
    auto propsSize = [](const std::vector<AmfValue::Property>& props) {
        uint64_t n = 3;  // end marker
        for (const auto& [name, value] : props) n += 2 + name.size() + AmfEncodedSize(value);
        return n;
    };
    switch (v.type) {
        case T::Number:
            return 9;
        case T::Boolean:
            return 2;
        case T::String:
        case T::LongString:
            return v.text.size() > 0xFFFF || v.type == T::LongString ? 5 + v.text.size() : 3 + v.text.size();
        case T::Object:
            return 1 + propsSize(v.props);
        case T::Null:
        case T::Undefined:
            return 1;
        case T::EcmaArray:
            return 5 + propsSize(v.props);
        case T::StrictArray: {
            uint64_t n = 5;
            for (const auto& item : v.items) n += AmfEncodedSize(item);
            return n;
        }
        case T::Date:
            return 11;
    }
    return 0;
}

}  // namespace vt
