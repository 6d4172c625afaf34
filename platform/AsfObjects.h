#pragma once
// The parsers of the ASF header objects (AsfObjects.cpp, each beside its
// renderer, which AsfHeader.h declares) and the reading and writing of
// GUIDs and UTF-16 texts in object bodies. Internal to the platform layer.
// Qt-free.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AsfHeader.h"
#include "platform/Bytes.h"

namespace vt {

inline Guid ReadGuid(ByteReader& r) {
    const auto b = r.Bytes(16);
    return b.empty() ? Guid{} : Guid::FromBytes(b.data());
}
inline std::vector<uint8_t> ReadVec(ByteReader& r, uint64_t n) {
    if (n > r.Remaining()) {
        r.Skip(r.Remaining() + 1);  // fails the reader
        return {};
    }
    const auto b = r.Bytes(size_t(n));
    return std::vector<uint8_t>(b.begin(), b.end());
}
// A UTF-16LE text of n bytes; trailing nulls dropped.
inline std::u16string ReadText(ByteReader& r, uint64_t n) {
    const std::vector<uint8_t> b = ReadVec(r, n);
    std::u16string s;
    for (size_t i = 0; i + 1 < b.size(); i += 2) s.push_back(char16_t(b[i] | (b[i + 1] << 8)));
    while (!s.empty() && s.back() == 0) s.pop_back();
    return s;
}
inline void WriteGuid(ByteWriter& w, const Guid& g) {
    uint8_t t[16];
    g.ToBytes(t);
    w.Bytes(t, sizeof t);
}
// UTF-16LE with a terminating null.
inline void WriteText(ByteWriter& w, std::u16string_view s) {
    for (char16_t c : s) w.U16LE(uint16_t(c));
    w.U16LE(0);
}
inline size_t TextBytes(std::u16string_view s) {
    return (s.size() + 1) * 2;
}

// What an extended stream properties object says of its stream.
struct ExtendedProps {
    AsfStreamConfig fields;  // only the extended fields are used
    uint32_t dataBitrate = 0;
    uint32_t bufferSize = 0;
    bool hasEmbedded = false;
    AsfStreamConfig embedded;
};

// Turns an attribute value as stored in a file into the API's form; false
// when it cannot be.
bool NormaliseValue(AsfAttrType t, std::vector<uint8_t>& v);

// Each reads one object's body; false when a field is cut off or invalid.
bool ParseFileProperties(ByteReader& c, AsfFileProperties& p);
bool ParseStreamProperties(ByteReader& c, AsfStreamConfig& s);
bool ParseExtendedStreamProperties(ByteReader& c, ExtendedProps& e);
bool ParseContentDescription(ByteReader& c, AsfHeaderInfo& info);
bool ParseExtendedContentDescription(ByteReader& c, AsfHeaderInfo& info);
bool ParseMetadata(ByteReader& c, AsfHeaderInfo& info, bool library);
bool ParseCodecList(ByteReader& c, AsfHeaderInfo& info);
bool ParseScriptCommands(ByteReader& c, AsfHeaderInfo& info);
bool ParseStreamBitrates(ByteReader& c, std::map<uint16_t, uint32_t>& bitrates);
bool ParseLanguageList(ByteReader& c, std::vector<std::u16string>& out);

}  // namespace vt
