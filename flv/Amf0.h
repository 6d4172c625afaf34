#pragma once
// AMF0, the value encoding of FLV script data tags (onMetaData and friends).
// Parsing is bounded: every length is checked against the bytes that are
// really there, and nesting is limited. Qt-free.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/ByteIO.h"
#include "platform/Bytes.h"

namespace vt {

struct AmfValue {
    enum class Type : uint8_t {
        Number = 0,
        Boolean = 1,
        String = 2,
        Object = 3,
        Null = 5,
        Undefined = 6,
        EcmaArray = 8,
        StrictArray = 10,
        Date = 11,
        LongString = 12,
    };
    using Property = std::pair<std::string, AmfValue>;

    Type type = Type::Undefined;
    double number = 0;     // Number, Date (milliseconds)
    int16_t timezone = 0;  // Date
    bool boolean = false;
    std::string text;             // String, LongString
    std::vector<Property> props;  // Object, EcmaArray
    std::vector<AmfValue> items;  // StrictArray

    // Declared here, defined where the type is complete: clang does not
    // instantiate a pair of an incomplete type.
    AmfValue();
    AmfValue(const AmfValue&);
    AmfValue(AmfValue&&) noexcept;
    AmfValue& operator=(const AmfValue&);
    AmfValue& operator=(AmfValue&&) noexcept;
    ~AmfValue();

    static AmfValue Num(double v) {
        AmfValue a;
        a.type = Type::Number;
        a.number = v;
        return a;
    }
    static AmfValue Bool(bool v) {
        AmfValue a;
        a.type = Type::Boolean;
        a.boolean = v;
        return a;
    }
    static AmfValue Str(std::string v) {
        AmfValue a;
        a.type = v.size() > 0xFFFF ? Type::LongString : Type::String;
        a.text = std::move(v);
        return a;
    }
    static AmfValue Obj() {
        AmfValue a;
        a.type = Type::Object;
        return a;
    }
    static AmfValue Ecma() {
        AmfValue a;
        a.type = Type::EcmaArray;
        return a;
    }
    static AmfValue Array() {
        AmfValue a;
        a.type = Type::StrictArray;
        return a;
    }

    bool IsNumber() const { return type == Type::Number; }
    bool IsMap() const { return type == Type::Object || type == Type::EcmaArray; }
    // The property named `key` of an object or ECMA array, or null.
    const AmfValue* Find(const std::string& key) const;
    AmfValue* Find(const std::string& key);
    // A number property, or `fallback` when it is missing or not a number.
    double NumberOr(const std::string& key, double fallback) const;
    // Sets (or adds at the end) a property of an object or ECMA array.
    void Set(const std::string& key, AmfValue v);
};

constexpr int kAmfMaxDepth = 32;
// Values in one top-level value at most: a few bytes each on disk, but a
// hundred in memory, so a script tag full of tiny values is refused instead
// of growing memory a hundredfold.
constexpr size_t kAmfMaxValues = 1 << 18;

// Reads one value at the reader's position. False on a malformed value, a
// length past the end, an unknown marker, nesting deeper than kAmfMaxDepth or
// more than `maxValues` values.
bool ReadAmfValue(ByteReader& in, AmfValue& out, size_t maxValues = kAmfMaxValues);
// The same for a stream of bytes in memory (a script tag's data): reads what
// is left of `in` and leaves it right after the value.
bool ReadAmfValue(ByteIO& in, AmfValue& out, size_t maxValues = kAmfMaxValues);
// Reads the short (16-bit length) string of a property name or a String value.
bool ReadAmfShortString(ByteReader& in, std::string& out);

bool WriteAmfValue(ByteIO& out, const AmfValue& v);
bool WriteAmfShortString(ByteIO& out, const std::string& s);
// The encoded size of a value, without encoding it.
uint64_t AmfEncodedSize(const AmfValue& v);

}  // namespace vt
