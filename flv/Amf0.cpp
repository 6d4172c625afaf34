#include "flv/Amf0.h"

#include <span>

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

namespace {

bool ReadString(ByteReader& in, size_t len, std::string& out) {
    const std::span<const uint8_t> bytes = in.Bytes(len);
    if (!in.Ok()) return false;
    out.assign(bytes.begin(), bytes.end());
    return true;
}

bool ReadLongString(ByteReader& in, std::string& out) {
    const uint32_t len = in.U32BE();
    return in.Ok() && ReadString(in, len, out);
}

bool ReadValue(ByteReader& in, AmfValue& out, int depth, size_t& budget);

// Properties up to the end marker (an empty name followed by marker 9). Data
// that ends right after a whole property ends the list too: some metadata
// writers cut the last end markers off, and what came before is sound.
bool ReadProperties(ByteReader& in, std::vector<AmfValue::Property>& props, int depth, size_t& budget) {
    for (;;) {
        if (in.Remaining() == 0) return true;
        std::string name;
        if (!ReadAmfShortString(in, name)) return false;
        if (name.empty()) {
            const uint8_t marker = in.U8();
            if (!in.Ok()) return false;
            if (marker == 9) return true;
            // An empty name with a value: legal, if unusual.
            in.Seek(in.Pos() - 1);
        }
        AmfValue v;
        if (!ReadValue(in, v, depth + 1, budget)) return false;
        props.emplace_back(std::move(name), std::move(v));
    }
}

bool ReadValue(ByteReader& in, AmfValue& out, int depth, size_t& budget) {
    if (depth > kAmfMaxDepth || budget == 0) return false;
    --budget;
    const uint8_t marker = in.U8();
    if (!in.Ok()) return false;
    out = AmfValue();
    switch (marker) {
        case 0:
            out.type = AmfValue::Type::Number;
            out.number = in.DoubleBE();
            return in.Ok();
        case 1:
            out.type = AmfValue::Type::Boolean;
            out.boolean = in.U8() != 0;
            return in.Ok();
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
            (void)in.U32BE();  // the count: a hint only; the end marker ends the array
            if (!in.Ok()) return false;
            out.type = AmfValue::Type::EcmaArray;
            return ReadProperties(in, out.props, depth, budget);
        }
        case 10: {
            const uint32_t count = in.U32BE();
            // Every value takes at least one byte: a count beyond that is a lie.
            if (!in.Ok() || count > in.Remaining() || count > budget) return false;
            out.type = AmfValue::Type::StrictArray;
            out.items.reserve(count);
            for (uint32_t i = 0; i < count; ++i) {
                AmfValue v;
                if (!ReadValue(in, v, depth + 1, budget)) return false;
                out.items.push_back(std::move(v));
            }
            return true;
        }
        case 11:
            out.type = AmfValue::Type::Date;
            out.number = in.DoubleBE();
            out.timezone = int16_t(in.U16BE());
            return in.Ok();
        case 12:
            out.type = AmfValue::Type::LongString;
            return ReadLongString(in, out.text);
        default:
            return false;  // references, XML, typed objects, AMF3: not metadata
    }
}

}  // namespace

bool ReadAmfShortString(ByteReader& in, std::string& out) {
    const uint16_t len = in.U16BE();
    return in.Ok() && ReadString(in, len, out);
}

bool ReadAmfValue(ByteReader& in, AmfValue& out, size_t maxValues) {
    size_t budget = maxValues;
    return ReadValue(in, out, 0, budget);
}

bool ReadAmfValue(ByteIO& in, AmfValue& out, size_t maxValues) {
    const uint64_t start = in.Tell();
    std::vector<uint8_t> bytes;
    if (!in.ReadBytes(bytes, in.Remaining())) return false;
    ByteReader reader(bytes);
    const bool ok = ReadAmfValue(reader, out, maxValues);
    // Right after the value (after what could be read of a broken one).
    return in.Seek(start + reader.Pos()) && ok;
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
