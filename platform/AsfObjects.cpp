// The objects of an ASF header, each one's parse next to its render: file
// and stream properties, the extended stream properties, the descriptions
// and metadata, codec list, script commands, bit rates, languages and the
// objects that group streams. Parsing reads one object's body with a
// ByteReader (any short field fails the object); rendering builds it with a
// ByteWriter. Qt-free.
#include "platform/AsfObjects.h"

#include <algorithm>

namespace vt {

namespace {

// ASF's own numbering of value types (extended content description and metadata objects).
enum : uint16_t {
    kAsfString = 0,
    kAsfBytes = 1,
    kAsfBool = 2,
    kAsfDword = 3,
    kAsfQword = 4,
    kAsfWord = 5,
    kAsfGuid = 6
};

bool FromAsfType(uint16_t t, AsfAttrType& out) {
    switch (t) {
        case kAsfString:
            out = AsfAttrType::String;
            return true;
        case kAsfBytes:
            out = AsfAttrType::Binary;
            return true;
        case kAsfBool:
            out = AsfAttrType::Bool;
            return true;
        case kAsfDword:
            out = AsfAttrType::Dword;
            return true;
        case kAsfQword:
            out = AsfAttrType::Qword;
            return true;
        case kAsfWord:
            out = AsfAttrType::Word;
            return true;
        case kAsfGuid:
            out = AsfAttrType::Guid;
            return true;
    }
    return false;
}

uint16_t ToAsfType(AsfAttrType t) {
    switch (t) {
        case AsfAttrType::String:
            return kAsfString;
        case AsfAttrType::Binary:
            return kAsfBytes;
        case AsfAttrType::Bool:
            return kAsfBool;
        case AsfAttrType::Dword:
            return kAsfDword;
        case AsfAttrType::Qword:
            return kAsfQword;
        case AsfAttrType::Word:
            return kAsfWord;
        case AsfAttrType::Guid:
            return kAsfGuid;
    }
    return kAsfBytes;
}

// Fixed value sizes per type (0: any size).
size_t FixedSize(AsfAttrType t) {
    switch (t) {
        case AsfAttrType::Dword:
        case AsfAttrType::Bool:
            return 4;
        case AsfAttrType::Qword:
            return 8;
        case AsfAttrType::Word:
            return 2;
        case AsfAttrType::Guid:
            return 16;
        default:
            return 0;
    }
}

}  // namespace

// Turns a value as stored in a file into the API's form; false when it cannot be.
bool NormaliseValue(AsfAttrType t, std::vector<uint8_t>& v) {
    if (t == AsfAttrType::Bool) {
        ByteReader r(v);
        uint32_t b = 0;
        if (v.size() == 2)
            b = r.U16LE();
        else if (v.size() == 4)
            b = r.U32LE();
        else
            return false;
        ByteWriter w(4);
        w.U32LE(b ? 1 : 0);
        v = w.Take();
        return true;
    }
    size_t fixed = FixedSize(t);
    if (fixed && v.size() != fixed) return false;
    if (t == AsfAttrType::String &&
        (v.size() % 2 != 0 || v.size() < 2 || v[v.size() - 1] || v[v.size() - 2])) {
        // Keep the text, make sure it carries its terminator.
        if (v.size() % 2) v.pop_back();
        v.push_back(0);
        v.push_back(0);
    }
    return true;
}

namespace {

const char16_t* const kContentNames[5] = {u"Title", u"Author", u"Copyright", u"Description", u"Rating"};

bool GoesToExtendedContent(const AsfAttribute& a) {
    return a.streamNumber == 0 && !IsContentDescriptionName(a.name) && a.type != AsfAttrType::Guid &&
           a.languageIndex == 0 && a.value.size() <= 0xFFFF && TextBytes(a.name) <= 0xFFFF;
}
bool GoesToMetadata(const AsfAttribute& a) {
    return a.streamNumber != 0 && a.type != AsfAttrType::Guid && a.languageIndex == 0 &&
           TextBytes(a.name) <= 0xFFFF;
}
bool GoesToLibrary(const AsfAttribute& a) {
    if (a.streamNumber == 0 && IsContentDescriptionName(a.name) && a.type == AsfAttrType::String)
        return false;
    return !GoesToExtendedContent(a) && !GoesToMetadata(a) && TextBytes(a.name) <= 0xFFFF;
}

}  // namespace

// ---- object headers ----

std::vector<uint8_t> RenderObject(const Guid& id, std::span<const uint8_t> body) {
    ByteWriter o;
    WriteGuid(o, id);
    o.U64LE(24 + body.size());
    o.Bytes(body);
    return o.Take();
}

// ---- file properties ----

bool ParseFileProperties(ByteReader& c, AsfFileProperties& p) {
    p.fileId = ReadGuid(c);
    p.fileSize = c.U64LE();
    p.creationDate = c.U64LE();
    p.packetCount = c.U64LE();
    p.playDuration = c.U64LE();
    p.sendDuration = c.U64LE();
    p.preroll = c.U64LE();
    p.flags = c.U32LE();
    p.minPacketSize = c.U32LE();
    p.maxPacketSize = c.U32LE();
    p.maxBitrate = c.U32LE();
    return c.Ok();
}

std::vector<uint8_t> RenderFileProperties(const AsfFileProperties& p) {
    ByteWriter o;
    WriteGuid(o, p.fileId);
    o.U64LE(p.fileSize);
    o.U64LE(p.creationDate);
    o.U64LE(p.packetCount);
    o.U64LE(p.playDuration);
    o.U64LE(p.sendDuration);
    o.U64LE(p.preroll);
    o.U32LE(p.flags);
    o.U32LE(p.minPacketSize);
    o.U32LE(p.maxPacketSize);
    o.U32LE(p.maxBitrate);
    return RenderObject(asfguid::kFileProperties, o.Data());
}

// ---- stream properties ----

bool ParseStreamProperties(ByteReader& c, AsfStreamConfig& s) {
    s.streamType = ReadGuid(c);
    s.errorCorrectionType = ReadGuid(c);
    s.timeOffset = c.U64LE();
    uint32_t tsdLen = c.U32LE();
    uint32_t ecdLen = c.U32LE();
    uint16_t flags = c.U16LE();
    c.U32LE();
    s.typeSpecific = ReadVec(c, tsdLen);
    s.errorCorrectionData = ReadVec(c, ecdLen);
    s.streamNumber = flags & 0x7F;
    s.encrypted = (flags & 0x8000) != 0;
    return c.Ok() && s.streamNumber != 0;
}

std::vector<uint8_t> RenderStreamProperties(const AsfStreamConfig& s) {
    ByteWriter o;
    WriteGuid(o, s.streamType);
    WriteGuid(o, s.errorCorrectionType);
    o.U64LE(s.timeOffset);
    o.U32LE(uint32_t(s.typeSpecific.size()));
    o.U32LE(uint32_t(s.errorCorrectionData.size()));
    o.U16LE(uint16_t((s.streamNumber & 0x7F) | (s.encrypted ? 0x8000 : 0)));
    o.U32LE(0);
    o.Bytes(s.typeSpecific);
    o.Bytes(s.errorCorrectionData);
    return RenderObject(asfguid::kStreamProperties, o.Data());
}

// ---- extended stream properties ----

bool ParseExtendedStreamProperties(ByteReader& c, ExtendedProps& e) {
    AsfStreamConfig& f = e.fields;
    f.startTime = c.U64LE();
    f.endTime = c.U64LE();
    e.dataBitrate = c.U32LE();
    e.bufferSize = c.U32LE();
    c.U32LE();  // initial buffer fullness
    c.U32LE();  // alternate data bit rate
    c.U32LE();  // alternate buffer size
    c.U32LE();  // alternate initial buffer fullness
    f.maxObjectSize = c.U32LE();
    f.extFlags = c.U32LE();
    f.streamNumber = c.U16LE() & 0x7F;
    f.languageIndex = c.U16LE();
    f.avgTimePerFrame = c.U64LE();
    uint16_t nameCount = c.U16LE();
    uint16_t extCount = c.U16LE();
    for (uint16_t i = 0; i < nameCount && c.Ok(); ++i) {
        AsfStreamName n;
        n.languageIndex = c.U16LE();
        n.name = ReadText(c, c.U16LE());
        f.names.push_back(std::move(n));
    }
    for (uint16_t i = 0; i < extCount && c.Ok(); ++i) {
        AsfPayloadExtension x;
        x.id = ReadGuid(c);
        x.dataSize = c.U16LE();
        x.info = ReadVec(c, c.U32LE());
        f.payloadExtensions.push_back(std::move(x));
    }
    if (!c.Ok() || f.streamNumber == 0) return false;
    // An optional stream properties object follows.
    if (c.Remaining() >= 24) {
        Guid id = ReadGuid(c);
        uint64_t size = c.U64LE();
        if (c.Ok() && id == asfguid::kStreamProperties && size >= 24 && size - 24 <= c.Remaining()) {
            std::vector<uint8_t> body = ReadVec(c, size - 24);
            ByteReader sc(body);
            if (ParseStreamProperties(sc, e.embedded)) e.hasEmbedded = true;
        }
    }
    return true;
}

std::vector<uint8_t> RenderExtendedStreamProperties(const AsfStreamConfig& s) {
    ByteWriter o;
    o.U64LE(s.startTime);
    o.U64LE(s.endTime);
    o.U32LE(s.bitrate);
    o.U32LE(s.bufferWindow);
    o.U32LE(s.bufferWindow);
    o.U32LE(s.bitrate);
    o.U32LE(s.bufferWindow);
    o.U32LE(s.bufferWindow);
    o.U32LE(s.maxObjectSize);
    o.U32LE(s.extFlags);
    o.U16LE(s.streamNumber);
    o.U16LE(s.languageIndex);
    o.U64LE(s.avgTimePerFrame);
    o.U16LE(uint16_t(s.names.size()));
    o.U16LE(uint16_t(s.payloadExtensions.size()));
    for (const auto& n : s.names) {
        o.U16LE(n.languageIndex);
        o.U16LE(uint16_t(TextBytes(n.name)));
        WriteText(o, n.name);
    }
    for (const auto& x : s.payloadExtensions) {
        WriteGuid(o, x.id);
        o.U16LE(x.dataSize);
        o.U32LE(uint32_t(x.info.size()));
        o.Bytes(x.info);
    }
    return RenderObject(asfguid::kExtendedStreamProperties, o.Data());
}

// ---- content description ----

bool IsContentDescriptionName(std::u16string_view name) {
    for (const char16_t* n : kContentNames)
        if (name == n) return true;
    return false;
}

bool ParseContentDescription(ByteReader& c, AsfHeaderInfo& info) {
    uint16_t len[5];
    for (auto& l : len) l = c.U16LE();
    for (int i = 0; i < 5 && c.Ok(); ++i) {
        std::u16string s = ReadText(c, len[i]);
        if (c.Ok() && !s.empty()) {
            AsfAttribute a;
            a.name = kContentNames[i];
            a.type = AsfAttrType::String;
            a.value = Utf16Value(s);
            info.AddParsed(std::move(a));
        }
    }
    return c.Ok();
}

std::vector<uint8_t> RenderContentDescription(const AsfHeaderInfo& info) {
    std::u16string texts[5];
    bool any = false;
    for (int i = 0; i < 5; ++i) {
        const AsfAttribute* a = info.GetAttributeByName(0, kContentNames[i]);
        if (a && a->type == AsfAttrType::String) {
            texts[i] = Utf16FromValue(a->value);
            if (texts[i].size() > 0x7FFE) texts[i].resize(0x7FFE);
            any = true;
        }
    }
    if (!any) return {};
    ByteWriter o;
    for (const auto& t : texts) o.U16LE(uint16_t(TextBytes(t)));
    for (const auto& t : texts) WriteText(o, t);
    return RenderObject(asfguid::kContentDescription, o.Data());
}

// ---- extended content description ----

bool ParseExtendedContentDescription(ByteReader& c, AsfHeaderInfo& info) {
    uint16_t count = c.U16LE();
    for (uint16_t i = 0; i < count && c.Ok(); ++i) {
        AsfAttribute a;
        a.name = ReadText(c, c.U16LE());
        uint16_t type = c.U16LE();
        a.value = ReadVec(c, c.U16LE());
        if (!c.Ok()) return false;
        if (!FromAsfType(type, a.type) || a.type == AsfAttrType::Guid || a.name.empty() ||
            !NormaliseValue(a.type, a.value))
            continue;
        info.AddParsed(std::move(a));
    }
    return c.Ok();
}

std::vector<uint8_t> RenderExtendedContentDescription(const AsfHeaderInfo& info) {
    ByteWriter o;
    uint16_t count = 0;
    o.U16LE(0);
    for (const auto& a : info.Attributes()) {
        if (!GoesToExtendedContent(a) || count == 0xFFFF) continue;
        o.U16LE(uint16_t(TextBytes(a.name)));
        WriteText(o, a.name);
        o.U16LE(ToAsfType(a.type));
        o.U16LE(uint16_t(a.value.size()));
        o.Bytes(a.value);
        ++count;
    }
    if (count == 0) return {};
    o.PatchU16LE(0, count);
    return RenderObject(asfguid::kExtendedContentDescription, o.Data());
}

// ---- metadata and metadata library ----

bool ParseMetadata(ByteReader& c, AsfHeaderInfo& info, bool library) {
    uint16_t count = c.U16LE();
    for (uint16_t i = 0; i < count && c.Ok(); ++i) {
        AsfAttribute a;
        a.languageIndex = c.U16LE();
        a.streamNumber = c.U16LE() & 0x7F;
        uint16_t nameLen = c.U16LE();
        uint16_t type = c.U16LE();
        uint32_t dataLen = c.U32LE();
        a.name = ReadText(c, nameLen);
        a.value = ReadVec(c, dataLen);
        if (!c.Ok()) return false;
        if (!library) a.languageIndex = 0;
        if (!FromAsfType(type, a.type) || a.name.empty() || !NormaliseValue(a.type, a.value)) continue;
        info.AddParsed(std::move(a));
    }
    return c.Ok();
}

std::vector<uint8_t> RenderMetadata(const AsfHeaderInfo& info, bool library) {
    ByteWriter o;
    uint16_t count = 0;
    o.U16LE(0);
    for (const auto& a : info.Attributes()) {
        if (!(library ? GoesToLibrary(a) : GoesToMetadata(a)) || count == 0xFFFF) continue;
        std::vector<uint8_t> v = a.value;
        if (a.type == AsfAttrType::Bool) v.resize(2);  // a WORD in these objects
        o.U16LE(library ? a.languageIndex : 0);
        o.U16LE(a.streamNumber);
        o.U16LE(uint16_t(TextBytes(a.name)));
        o.U16LE(ToAsfType(a.type));
        o.U32LE(uint32_t(v.size()));
        WriteText(o, a.name);
        o.Bytes(v);
        ++count;
    }
    if (count == 0) return {};
    o.PatchU16LE(0, count);
    return RenderObject(library ? asfguid::kMetadataLibrary : asfguid::kMetadata, o.Data());
}

// ---- codec list ----

bool ParseCodecList(ByteReader& c, AsfHeaderInfo& info) {
    ReadGuid(c);
    uint32_t count = c.U32LE();
    for (uint32_t i = 0; i < count && c.Ok(); ++i) {
        AsfCodecInfo ci;
        uint16_t type = c.U16LE();
        ci.type = type == 1 ? AsfCodecType::Video : type == 2 ? AsfCodecType::Audio : AsfCodecType::Unknown;
        ci.name = ReadText(c, uint64_t(c.U16LE()) * 2);
        ci.description = ReadText(c, uint64_t(c.U16LE()) * 2);
        ci.info = ReadVec(c, c.U16LE());
        if (c.Ok()) info.AddCodecInfo(ci);
    }
    return c.Ok();
}

std::vector<uint8_t> RenderCodecList(const AsfHeaderInfo& info) {
    ByteWriter o;
    WriteGuid(o, asfguid::kReserved2);
    o.U32LE(uint32_t(info.GetCodecInfoCount()));
    for (size_t i = 0; i < info.GetCodecInfoCount(); ++i) {
        const AsfCodecInfo& c = *info.GetCodecInfo(i);
        o.U16LE(c.type == AsfCodecType::Video ? 1 : c.type == AsfCodecType::Audio ? 2 : 0xFFFF);
        o.U16LE(uint16_t(c.name.size() + 1));
        WriteText(o, c.name);
        o.U16LE(uint16_t(c.description.size() + 1));
        WriteText(o, c.description);
        o.U16LE(uint16_t(c.info.size()));
        o.Bytes(c.info);
    }
    return RenderObject(asfguid::kCodecList, o.Data());
}

// ---- script commands ----

bool ParseScriptCommands(ByteReader& c, AsfHeaderInfo& info) {
    ReadGuid(c);
    uint16_t commands = c.U16LE();
    uint16_t typeCount = c.U16LE();
    std::vector<std::u16string> types;
    for (uint16_t i = 0; i < typeCount && c.Ok(); ++i) types.push_back(ReadText(c, uint64_t(c.U16LE()) * 2));
    for (uint16_t i = 0; i < commands && c.Ok(); ++i) {
        uint32_t ms = c.U32LE();
        uint16_t typeIndex = c.U16LE();
        std::u16string name = ReadText(c, uint64_t(c.U16LE()) * 2);
        if (c.Ok() && typeIndex < types.size()) info.AddScript(types[typeIndex], name, uint64_t(ms) * 10000);
    }
    return c.Ok();
}

std::vector<uint8_t> RenderScriptCommands(const AsfHeaderInfo& info) {
    std::vector<std::u16string> types;
    std::vector<uint16_t> typeIndex;
    for (size_t i = 0; i < info.GetScriptCount(); ++i) {
        const AsfScript& s = *info.GetScript(i);
        auto it = std::find(types.begin(), types.end(), s.type);
        typeIndex.push_back(uint16_t(it - types.begin()));
        if (it == types.end()) types.push_back(s.type);
    }
    ByteWriter o;
    WriteGuid(o, asfguid::kReserved3);
    o.U16LE(uint16_t(info.GetScriptCount()));
    o.U16LE(uint16_t(types.size()));
    for (const auto& t : types) {
        o.U16LE(uint16_t(t.size() + 1));
        WriteText(o, t);
    }
    for (size_t i = 0; i < info.GetScriptCount(); ++i) {
        const AsfScript& s = *info.GetScript(i);
        o.U32LE(uint32_t(std::min<uint64_t>(s.time / 10000, 0xFFFFFFFF)));
        o.U16LE(typeIndex[i]);
        o.U16LE(uint16_t(s.command.size() + 1));
        WriteText(o, s.command);
    }
    return RenderObject(asfguid::kScriptCommand, o.Data());
}

// ---- stream bit rates ----

bool ParseStreamBitrates(ByteReader& c, std::map<uint16_t, uint32_t>& bitrates) {
    uint16_t count = c.U16LE();
    for (uint16_t i = 0; i < count && c.Ok(); ++i) {
        uint16_t flags = c.U16LE();
        uint32_t rate = c.U32LE();
        if (c.Ok()) bitrates[flags & 0x7F] = rate;
    }
    return c.Ok();
}

std::vector<uint8_t> RenderStreamBitrates(const AsfProfile& profile) {
    ByteWriter o;
    o.U16LE(uint16_t(profile.GetStreamCount()));
    for (const auto& s : profile.Streams()) {
        o.U16LE(s.streamNumber & 0x7F);
        o.U32LE(s.bitrate);
    }
    return RenderObject(asfguid::kStreamBitrateProperties, o.Data());
}

// ---- language list ----

bool ParseLanguageList(ByteReader& c, std::vector<std::u16string>& out) {
    uint16_t count = c.U16LE();
    for (uint16_t i = 0; i < count && c.Ok(); ++i) out.push_back(ReadText(c, c.U8()));
    return c.Ok();
}

std::vector<uint8_t> RenderLanguageList(const std::vector<std::u16string>& languages) {
    ByteWriter o;
    o.U16LE(uint16_t(languages.size()));
    for (const auto& l : languages) {
        std::u16string t = l.substr(0, 126);
        o.U8(uint8_t(TextBytes(t)));
        WriteText(o, t);
    }
    return RenderObject(asfguid::kLanguageList, o.Data());
}

// ---- objects that name streams ----

namespace {

enum class GroupKind { None, Exclusion, GroupExclusion, Sharing, Priority };

GroupKind KindOf(const Guid& id) {
    if (id == asfguid::kMutualExclusion || id == asfguid::kAdvancedMutualExclusion)
        return GroupKind::Exclusion;
    if (id == asfguid::kGroupMutualExclusion) return GroupKind::GroupExclusion;
    if (id == asfguid::kBandwidthSharing) return GroupKind::Sharing;
    if (id == asfguid::kStreamPrioritization) return GroupKind::Priority;
    return GroupKind::None;
}

// A count of stream numbers and the numbers.
bool ReadNumbers(ByteReader& c, std::vector<uint16_t>& out) {
    const uint16_t n = c.U16LE();
    if (!c.Ok() || uint64_t(n) * 2 > c.Remaining()) return false;
    for (uint16_t i = 0; i < n; ++i) out.push_back(c.U16LE() & 0x7F);
    return c.Ok();
}

}  // namespace

bool ParseStreamGroup(const Guid& id, std::span<const uint8_t> body, AsfStreamGroup& out) {
    const GroupKind kind = KindOf(id);
    if (kind == GroupKind::None) return false;
    out = AsfStreamGroup{};
    out.id = id;
    ByteReader c(body);
    const size_t headSize = kind == GroupKind::Sharing ? 24 : kind == GroupKind::Priority ? 0 : 16;
    out.head = ReadVec(c, headSize);
    if (!c.Ok()) return false;
    if (kind == GroupKind::GroupExclusion) {
        const uint16_t records = c.U16LE();
        for (uint16_t i = 0; i < records && c.Ok(); ++i) {
            out.records.emplace_back();
            if (!ReadNumbers(c, out.records.back())) return false;
        }
    } else if (kind == GroupKind::Priority) {
        const uint16_t n = c.U16LE();
        if (!c.Ok() || uint64_t(n) * 4 > c.Remaining()) return false;
        out.records.emplace_back();
        out.flags.emplace_back();
        for (uint16_t i = 0; i < n; ++i) {
            out.records[0].push_back(c.U16LE() & 0x7F);
            out.flags[0].push_back(c.U16LE());
        }
    } else {
        out.records.emplace_back();
        if (!ReadNumbers(c, out.records[0])) return false;
    }
    return c.Ok();
}

bool AsfStreamGroup::KeepOnly(const std::vector<uint16_t>& streams) {
    for (size_t r = 0; r < records.size(); ++r)
        for (size_t i = records[r].size(); i-- > 0;)
            if (std::find(streams.begin(), streams.end(), records[r][i]) == streams.end()) {
                records[r].erase(records[r].begin() + ptrdiff_t(i));
                if (r < flags.size() && i < flags[r].size()) flags[r].erase(flags[r].begin() + ptrdiff_t(i));
            }
    switch (KindOf(id)) {
        case GroupKind::Exclusion:
            return !records.empty() && records[0].size() >= 2;
        case GroupKind::GroupExclusion:
            std::erase_if(records, [](const auto& r) { return r.empty(); });
            return records.size() >= 2;
        case GroupKind::Sharing:
        case GroupKind::Priority:
            return !records.empty() && !records[0].empty();
        case GroupKind::None:
            break;
    }
    return false;
}

std::vector<uint8_t> AsfStreamGroup::Render() const {
    ByteWriter o;
    o.Bytes(head);
    const GroupKind kind = KindOf(id);
    if (kind == GroupKind::GroupExclusion) o.U16LE(uint16_t(records.size()));
    for (size_t r = 0; r < records.size(); ++r) {
        o.U16LE(uint16_t(records[r].size()));
        for (size_t i = 0; i < records[r].size(); ++i) {
            o.U16LE(records[r][i]);
            if (kind == GroupKind::Priority)
                o.U16LE(r < flags.size() && i < flags[r].size() ? flags[r][i] : 0);
        }
        if (kind != GroupKind::GroupExclusion) break;  // one record
    }
    return RenderObject(id, o.Data());
}

}  // namespace vt
