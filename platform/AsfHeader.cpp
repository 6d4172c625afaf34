#include "platform/AsfHeader.h"

#include <algorithm>
#include <map>

#include "platform/ByteIO.h"

namespace vt {

namespace {

// A bounds-checked little-endian cursor over one object's bytes. Once a read
// fails every later read fails too, so a parser checks `ok` once per record.
struct Cursor {
    explicit Cursor(std::span<const uint8_t> bytes) : io(bytes) {}
    MemoryIO io;
    bool ok = true;

    uint8_t U8() { uint8_t v = 0; ok = ok && io.ReadU8(v); return ok ? v : 0; }
    uint16_t U16() { uint16_t v = 0; ok = ok && io.ReadU16LE(v); return ok ? v : 0; }
    uint32_t U32() { uint32_t v = 0; ok = ok && io.ReadU32LE(v); return ok ? v : 0; }
    uint64_t U64() { uint64_t v = 0; ok = ok && io.ReadU64LE(v); return ok ? v : 0; }
    Guid G() { Guid g; ok = ok && g.Read(io); return g; }
    std::vector<uint8_t> Bytes(uint64_t n) {
        std::vector<uint8_t> v;
        ok = ok && io.ReadBytes(v, n);
        return v;
    }
    // A UTF-16LE text of n bytes; trailing nulls dropped.
    std::u16string Text(uint64_t n) {
        std::vector<uint8_t> b = Bytes(n);
        std::u16string s;
        for (size_t i = 0; i + 1 < b.size(); i += 2) s.push_back(char16_t(GetU16LE(&b[i])));
        while (!s.empty() && s.back() == 0) s.pop_back();
        return s;
    }
    bool Skip(uint64_t n) { ok = ok && io.Skip(n); return ok; }
    uint64_t Remaining() const { return io.Remaining(); }
};

// A little-endian builder for rendered objects.
struct Out {
    std::vector<uint8_t> b;
    void U8(uint8_t v) { b.push_back(v); }
    void U16(uint16_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); }
    void U32(uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i))); }
    void U64(uint64_t v) { for (int i = 0; i < 8; ++i) b.push_back(uint8_t(v >> (8 * i))); }
    void G(const Guid& g) { uint8_t t[16]; g.ToBytes(t); b.insert(b.end(), t, t + 16); }
    void Bytes(std::span<const uint8_t> v) { b.insert(b.end(), v.begin(), v.end()); }
    // UTF-16LE with a terminating null.
    void Text(std::u16string_view s) { for (char16_t c : s) U16(uint16_t(c)); U16(0); }
    static size_t TextBytes(std::u16string_view s) { return (s.size() + 1) * 2; }
};

constexpr int kMaxNesting = 2;

// ASF's own numbering of value types (extended content description and metadata objects).
enum : uint16_t { kAsfString = 0, kAsfBytes = 1, kAsfBool = 2, kAsfDword = 3, kAsfQword = 4, kAsfWord = 5, kAsfGuid = 6 };

bool FromAsfType(uint16_t t, AsfAttrType& out) {
    switch (t) {
        case kAsfString: out = AsfAttrType::String; return true;
        case kAsfBytes: out = AsfAttrType::Binary; return true;
        case kAsfBool: out = AsfAttrType::Bool; return true;
        case kAsfDword: out = AsfAttrType::Dword; return true;
        case kAsfQword: out = AsfAttrType::Qword; return true;
        case kAsfWord: out = AsfAttrType::Word; return true;
        case kAsfGuid: out = AsfAttrType::Guid; return true;
    }
    return false;
}

uint16_t ToAsfType(AsfAttrType t) {
    switch (t) {
        case AsfAttrType::String: return kAsfString;
        case AsfAttrType::Binary: return kAsfBytes;
        case AsfAttrType::Bool: return kAsfBool;
        case AsfAttrType::Dword: return kAsfDword;
        case AsfAttrType::Qword: return kAsfQword;
        case AsfAttrType::Word: return kAsfWord;
        case AsfAttrType::Guid: return kAsfGuid;
    }
    return kAsfBytes;
}

// Fixed value sizes per type (0: any size).
size_t FixedSize(AsfAttrType t) {
    switch (t) {
        case AsfAttrType::Dword: case AsfAttrType::Bool: return 4;
        case AsfAttrType::Qword: return 8;
        case AsfAttrType::Word: return 2;
        case AsfAttrType::Guid: return 16;
        default: return 0;
    }
}

// Turns a value as stored in a file into the API's form; false when it cannot be.
bool NormaliseValue(AsfAttrType t, std::vector<uint8_t>& v) {
    if (t == AsfAttrType::Bool) {
        uint32_t b = 0;
        if (v.size() == 2) b = GetU16LE(v.data());
        else if (v.size() == 4) b = GetU32LE(v.data());
        else return false;
        v.assign(4, 0);
        PutU32LE(v.data(), b ? 1 : 0);
        return true;
    }
    size_t fixed = FixedSize(t);
    if (fixed && v.size() != fixed) return false;
    if (t == AsfAttrType::String && (v.size() % 2 != 0 || v.size() < 2 || v[v.size() - 1] || v[v.size() - 2])) {
        // Keep the text, make sure it carries its terminator.
        if (v.size() % 2) v.pop_back();
        v.push_back(0);
        v.push_back(0);
    }
    return true;
}

const char16_t* const kContentNames[5] = {u"Title", u"Author", u"Copyright", u"Description", u"Rating"};

struct ExtendedProps {
    AsfStreamConfig fields;  // only the extended fields are used
    uint32_t dataBitrate = 0;
    uint32_t bufferSize = 0;
    bool hasEmbedded = false;
    AsfStreamConfig embedded;
};

struct ParseState {
    explicit ParseState(AsfHeader& header) : h(header) {}
    AsfHeader& h;
    bool haveFileProps = false;
    std::vector<AsfStreamConfig> streams;
    std::map<uint16_t, ExtendedProps> extended;
    std::map<uint16_t, uint32_t> bitrates;
    std::vector<AsfStreamGroup> groups;
};

bool ParseStreamProperties(Cursor& c, AsfStreamConfig& s) {
    s.streamType = c.G();
    s.errorCorrectionType = c.G();
    s.timeOffset = c.U64();
    uint32_t tsdLen = c.U32();
    uint32_t ecdLen = c.U32();
    uint16_t flags = c.U16();
    c.U32();
    s.typeSpecific = c.Bytes(tsdLen);
    s.errorCorrectionData = c.Bytes(ecdLen);
    s.streamNumber = flags & 0x7F;
    s.encrypted = (flags & 0x8000) != 0;
    return c.ok && s.streamNumber != 0;
}

bool ParseExtendedStreamProperties(Cursor& c, ExtendedProps& e) {
    AsfStreamConfig& f = e.fields;
    f.startTime = c.U64();
    f.endTime = c.U64();
    e.dataBitrate = c.U32();
    e.bufferSize = c.U32();
    c.U32();  // initial buffer fullness
    c.U32();  // alternate data bit rate
    c.U32();  // alternate buffer size
    c.U32();  // alternate initial buffer fullness
    f.maxObjectSize = c.U32();
    f.extFlags = c.U32();
    f.streamNumber = c.U16() & 0x7F;
    f.languageIndex = c.U16();
    f.avgTimePerFrame = c.U64();
    uint16_t nameCount = c.U16();
    uint16_t extCount = c.U16();
    for (uint16_t i = 0; i < nameCount && c.ok; ++i) {
        AsfStreamName n;
        n.languageIndex = c.U16();
        n.name = c.Text(c.U16());
        f.names.push_back(std::move(n));
    }
    for (uint16_t i = 0; i < extCount && c.ok; ++i) {
        AsfPayloadExtension x;
        x.id = c.G();
        x.dataSize = c.U16();
        x.info = c.Bytes(c.U32());
        f.payloadExtensions.push_back(std::move(x));
    }
    if (!c.ok || f.streamNumber == 0) return false;
    // An optional stream properties object follows.
    if (c.Remaining() >= 24) {
        Guid id = c.G();
        uint64_t size = c.U64();
        if (c.ok && id == asfguid::kStreamProperties && size >= 24 && size - 24 <= c.Remaining()) {
            std::vector<uint8_t> body = c.Bytes(size - 24);
            Cursor sc(body);
            if (ParseStreamProperties(sc, e.embedded)) e.hasEmbedded = true;
        }
    }
    return true;
}

bool ParseMetadata(Cursor& c, AsfHeaderInfo& info, bool library) {
    uint16_t count = c.U16();
    for (uint16_t i = 0; i < count && c.ok; ++i) {
        AsfAttribute a;
        a.languageIndex = c.U16();
        a.streamNumber = c.U16() & 0x7F;
        uint16_t nameLen = c.U16();
        uint16_t type = c.U16();
        uint32_t dataLen = c.U32();
        a.name = c.Text(nameLen);
        a.value = c.Bytes(dataLen);
        if (!c.ok) return false;
        if (!library) a.languageIndex = 0;
        if (!FromAsfType(type, a.type) || a.name.empty() || !NormaliseValue(a.type, a.value)) continue;
        info.AddParsed(std::move(a));
    }
    return c.ok;
}

bool ParseExtendedContentDescription(Cursor& c, AsfHeaderInfo& info) {
    uint16_t count = c.U16();
    for (uint16_t i = 0; i < count && c.ok; ++i) {
        AsfAttribute a;
        a.name = c.Text(c.U16());
        uint16_t type = c.U16();
        a.value = c.Bytes(c.U16());
        if (!c.ok) return false;
        if (!FromAsfType(type, a.type) || a.type == AsfAttrType::Guid || a.name.empty() ||
            !NormaliseValue(a.type, a.value))
            continue;
        info.AddParsed(std::move(a));
    }
    return c.ok;
}

bool ParseContentDescription(Cursor& c, AsfHeaderInfo& info) {
    uint16_t len[5];
    for (auto& l : len) l = c.U16();
    for (int i = 0; i < 5 && c.ok; ++i) {
        std::u16string s = c.Text(len[i]);
        if (c.ok && !s.empty()) {
            AsfAttribute a;
            a.name = kContentNames[i];
            a.type = AsfAttrType::String;
            a.value = Utf16Value(s);
            info.AddParsed(std::move(a));
        }
    }
    return c.ok;
}

bool ParseCodecList(Cursor& c, AsfHeaderInfo& info) {
    c.G();
    uint32_t count = c.U32();
    for (uint32_t i = 0; i < count && c.ok; ++i) {
        AsfCodecInfo ci;
        uint16_t type = c.U16();
        ci.type = type == 1 ? AsfCodecType::Video : type == 2 ? AsfCodecType::Audio : AsfCodecType::Unknown;
        ci.name = c.Text(uint64_t(c.U16()) * 2);
        ci.description = c.Text(uint64_t(c.U16()) * 2);
        ci.info = c.Bytes(c.U16());
        if (c.ok) info.AddCodecInfo(ci);
    }
    return c.ok;
}

bool ParseScriptCommands(Cursor& c, AsfHeaderInfo& info) {
    c.G();
    uint16_t commands = c.U16();
    uint16_t typeCount = c.U16();
    std::vector<std::u16string> types;
    for (uint16_t i = 0; i < typeCount && c.ok; ++i) types.push_back(c.Text(uint64_t(c.U16()) * 2));
    for (uint16_t i = 0; i < commands && c.ok; ++i) {
        uint32_t ms = c.U32();
        uint16_t typeIndex = c.U16();
        std::u16string name = c.Text(uint64_t(c.U16()) * 2);
        if (c.ok && typeIndex < types.size()) info.AddScript(types[typeIndex], name, uint64_t(ms) * 10000);
    }
    return c.ok;
}

bool ParseStreamBitrates(Cursor& c, ParseState& st) {
    uint16_t count = c.U16();
    for (uint16_t i = 0; i < count && c.ok; ++i) {
        uint16_t flags = c.U16();
        uint32_t rate = c.U32();
        if (c.ok) st.bitrates[flags & 0x7F] = rate;
    }
    return c.ok;
}

bool ParseLanguageList(Cursor& c, std::vector<std::u16string>& out) {
    uint16_t count = c.U16();
    for (uint16_t i = 0; i < count && c.ok; ++i) out.push_back(c.Text(c.U8()));
    return c.ok;
}

HResult ParseObjects(std::span<const uint8_t> area, ParseState& st, int depth);

HResult ParseOneObject(const Guid& id, std::span<const uint8_t> body, ParseState& st, int depth) {
    Cursor c(body);
    AsfHeader& h = st.h;
    bool ok = true;
    if (id == asfguid::kFileProperties && depth == 0) {
        AsfFileProperties& p = h.fileProperties;
        p.fileId = c.G();
        p.fileSize = c.U64();
        p.creationDate = c.U64();
        p.packetCount = c.U64();
        p.playDuration = c.U64();
        p.sendDuration = c.U64();
        p.preroll = c.U64();
        p.flags = c.U32();
        p.minPacketSize = c.U32();
        p.maxPacketSize = c.U32();
        p.maxBitrate = c.U32();
        ok = c.ok;
        st.haveFileProps = ok;
    } else if (id == asfguid::kStreamProperties && depth == 0) {
        AsfStreamConfig s;
        ok = ParseStreamProperties(c, s);
        if (ok) {
            auto same = std::find_if(st.streams.begin(), st.streams.end(),
                                     [&](const AsfStreamConfig& o) { return o.streamNumber == s.streamNumber; });
            if (same != st.streams.end()) return asf::kInvalidData;
            st.streams.push_back(std::move(s));
        }
    } else if (id == asfguid::kHeaderExtension && depth == 0) {
        c.G();
        c.U16();
        uint32_t size = c.U32();
        if (!c.ok || size > c.Remaining()) return asf::kInvalidData;
        return ParseObjects(body.subspan(22, size), st, depth + 1);
    } else if (id == asfguid::kExtendedStreamProperties && depth == 1) {
        ExtendedProps e;
        ok = ParseExtendedStreamProperties(c, e);
        if (ok) st.extended[e.fields.streamNumber] = std::move(e);
    } else if (id == asfguid::kMetadata && depth == 1) {
        ok = ParseMetadata(c, h.info, false);
    } else if (id == asfguid::kMetadataLibrary && depth == 1) {
        ok = ParseMetadata(c, h.info, true);
    } else if (id == asfguid::kLanguageList && depth == 1) {
        ok = ParseLanguageList(c, h.languages);
    } else if (id == asfguid::kCodecList && depth == 0) {
        ok = ParseCodecList(c, h.info);
    } else if (id == asfguid::kScriptCommand && depth == 0) {
        ok = ParseScriptCommands(c, h.info);
    } else if (id == asfguid::kContentDescription && depth == 0) {
        ok = ParseContentDescription(c, h.info);
    } else if (id == asfguid::kExtendedContentDescription && depth == 0) {
        ok = ParseExtendedContentDescription(c, h.info);
    } else if (id == asfguid::kStreamBitrateProperties && depth == 0) {
        ok = ParseStreamBitrates(c, st);
    } else if (AsfStreamGroup g; ParseStreamGroup(id, body, g)) {
        st.groups.push_back(std::move(g));
    } else if (id == asfguid::kPadding) {
        // nothing to keep
    } else {
        AsfRawObject raw{id, std::vector<uint8_t>(body.begin(), body.end())};
        (depth == 0 ? h.unknownObjects : h.unknownExtensionObjects).push_back(std::move(raw));
    }
    return ok ? asf::kOk : asf::kInvalidData;
}

HResult ParseObjects(std::span<const uint8_t> area, ParseState& st, int depth) {
    if (depth > kMaxNesting) return asf::kInvalidData;
    size_t pos = 0;
    while (area.size() - pos >= 24) {
        Guid id = Guid::FromBytes(&area[pos]);
        uint64_t size = GetU64LE(&area[pos + 16]);
        if (size < 24 || size > area.size() - pos) return asf::kInvalidData;
        HResult hr = ParseOneObject(id, area.subspan(pos + 24, size_t(size - 24)), st, depth);
        if (asf::Failed(hr)) return hr;
        pos += size_t(size);
    }
    return asf::kOk;
}

void AddQword(AsfHeaderInfo& info, const char16_t* name, uint64_t v) {
    AsfAttribute a;
    a.name = name;
    a.type = AsfAttrType::Qword;
    a.value.assign(8, 0);
    PutU64LE(a.value.data(), v);
    info.AddParsed(std::move(a));
}

void AddDword(AsfHeaderInfo& info, const char16_t* name, AsfAttrType type, uint32_t v) {
    AsfAttribute a;
    a.name = name;
    a.type = type;
    a.value.assign(4, 0);
    PutU32LE(a.value.data(), v);
    info.AddParsed(std::move(a));
}

}  // namespace

// ---- stream configurations ----

HResult AsfStreamConfig::SetStreamNumber(uint16_t n) {
    if (n < 1 || n > 127) return asf::kInvalidArg;
    streamNumber = n;
    return asf::kOk;
}

Guid AsfStreamConfig::MajorType() const {
    if (streamType == asfguid::kVideoMedia) return kMediaTypeVideo;
    if (streamType == asfguid::kAudioMedia) return kMediaTypeAudio;
    if (streamType == asfguid::kCommandMedia) return kMediaTypeScript;
    return streamType;
}

AsfMediaType AsfStreamConfig::GetMediaType() const {
    AsfMediaType mt;
    mt.majorType = MajorType();
    if (streamType == asfguid::kAudioMedia && typeSpecific.size() >= 16) {
        mt.subtype = FourCCGuid(GetU16LE(typeSpecific.data()));
        mt.fixedSizeSamples = true;
        mt.sampleSize = GetU16LE(typeSpecific.data() + 12);  // nBlockAlign
        mt.formatType = kFormatWaveFormatEx;
        mt.format = typeSpecific;
    } else if (streamType == asfguid::kVideoMedia && typeSpecific.size() >= 11 + 40) {
        const uint8_t* bih = typeSpecific.data() + 11;
        size_t bihLen = std::min<size_t>(GetU16LE(typeSpecific.data() + 9), typeSpecific.size() - 11);
        uint32_t width = GetU32LE(typeSpecific.data()), height = GetU32LE(typeSpecific.data() + 4);
        mt.subtype = FourCCGuid(GetU32LE(bih + 16));
        mt.temporalCompression = true;
        mt.formatType = kFormatVideoInfo;
        mt.format.assign(kVideoInfoHeaderSize, 0);
        for (int r = 0; r < 2; ++r) {  // rcSource, rcTarget
            PutU32LE(&mt.format[r * 16 + 8], width);
            PutU32LE(&mt.format[r * 16 + 12], height);
        }
        PutU32LE(&mt.format[kVideoInfoBitRateOffset], bitrate);
        PutU64LE(&mt.format[40], avgTimePerFrame);
        mt.format.insert(mt.format.end(), bih, bih + bihLen);
    } else {
        mt.subtype = streamType;
        mt.format = typeSpecific;
    }
    return mt;
}

uint8_t AsfStreamConfig::SpreadSpan() const {
    if (errorCorrectionType != asfguid::kAudioSpread || errorCorrectionData.size() < 5) return 1;
    return errorCorrectionData[0];
}
uint16_t AsfStreamConfig::SpreadPacketSize() const {
    return errorCorrectionData.size() >= 5 ? GetU16LE(&errorCorrectionData[1]) : 0;
}
uint16_t AsfStreamConfig::SpreadChunkSize() const {
    return errorCorrectionData.size() >= 5 ? GetU16LE(&errorCorrectionData[3]) : 0;
}

// ---- profile ----

const AsfStreamConfig* AsfProfile::GetStream(uint32_t index) const {
    return index < streams_.size() ? &streams_[index] : nullptr;
}

std::optional<AsfStreamConfig> AsfProfile::GetStreamByNumber(uint16_t number) const {
    for (const auto& s : streams_)
        if (s.streamNumber == number) return s;
    return std::nullopt;
}

HResult AsfProfile::RemoveStreamByNumber(uint16_t number) {
    auto it = std::find_if(streams_.begin(), streams_.end(),
                           [&](const AsfStreamConfig& s) { return s.streamNumber == number; });
    if (it == streams_.end()) return asf::kInvalidStream;
    streams_.erase(it);
    std::vector<uint16_t> rest;
    for (const auto& s : streams_) rest.push_back(s.streamNumber);
    std::erase_if(groups_, [&](AsfStreamGroup& g) { return !g.KeepOnly(rest); });
    return asf::kOk;
}

// ---- objects that name streams ----

namespace {

enum class GroupKind { None, Exclusion, GroupExclusion, Sharing, Priority };

GroupKind KindOf(const Guid& id) {
    if (id == asfguid::kMutualExclusion || id == asfguid::kAdvancedMutualExclusion) return GroupKind::Exclusion;
    if (id == asfguid::kGroupMutualExclusion) return GroupKind::GroupExclusion;
    if (id == asfguid::kBandwidthSharing) return GroupKind::Sharing;
    if (id == asfguid::kStreamPrioritization) return GroupKind::Priority;
    return GroupKind::None;
}

// A count of stream numbers and the numbers.
bool ReadNumbers(Cursor& c, std::vector<uint16_t>& out) {
    const uint16_t n = c.U16();
    if (!c.ok || uint64_t(n) * 2 > c.Remaining()) return false;
    for (uint16_t i = 0; i < n; ++i) out.push_back(c.U16() & 0x7F);
    return c.ok;
}

}  // namespace

bool ParseStreamGroup(const Guid& id, std::span<const uint8_t> body, AsfStreamGroup& out) {
    const GroupKind kind = KindOf(id);
    if (kind == GroupKind::None) return false;
    out = AsfStreamGroup{};
    out.id = id;
    Cursor c(body);
    const size_t headSize = kind == GroupKind::Sharing ? 24 : kind == GroupKind::Priority ? 0 : 16;
    out.head = c.Bytes(headSize);
    if (!c.ok) return false;
    if (kind == GroupKind::GroupExclusion) {
        const uint16_t records = c.U16();
        for (uint16_t i = 0; i < records && c.ok; ++i) {
            out.records.emplace_back();
            if (!ReadNumbers(c, out.records.back())) return false;
        }
    } else if (kind == GroupKind::Priority) {
        const uint16_t n = c.U16();
        if (!c.ok || uint64_t(n) * 4 > c.Remaining()) return false;
        out.records.emplace_back();
        out.flags.emplace_back();
        for (uint16_t i = 0; i < n; ++i) {
            out.records[0].push_back(c.U16() & 0x7F);
            out.flags[0].push_back(c.U16());
        }
    } else {
        out.records.emplace_back();
        if (!ReadNumbers(c, out.records[0])) return false;
    }
    return c.ok;
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
    Out o;
    o.Bytes(head);
    const GroupKind kind = KindOf(id);
    if (kind == GroupKind::GroupExclusion) o.U16(uint16_t(records.size()));
    for (size_t r = 0; r < records.size(); ++r) {
        o.U16(uint16_t(records[r].size()));
        for (size_t i = 0; i < records[r].size(); ++i) {
            o.U16(records[r][i]);
            if (kind == GroupKind::Priority) o.U16(r < flags.size() && i < flags[r].size() ? flags[r][i] : 0);
        }
        if (kind != GroupKind::GroupExclusion) break;  // one record
    }
    return RenderObject(id, o.b);
}

HResult AsfProfile::AddStream(const AsfStreamConfig& config) {
    if (config.streamNumber < 1 || config.streamNumber > 127) return asf::kInvalidArg;
    if (GetStreamByNumber(config.streamNumber)) return asf::kInvalidStream;
    streams_.push_back(config);
    return asf::kOk;
}

HResult AsfProfile::ReconfigStream(const AsfStreamConfig& config) {
    for (auto& s : streams_)
        if (s.streamNumber == config.streamNumber) {
            s = config;
            return asf::kOk;
        }
    return asf::kInvalidStream;
}

// ---- header information ----

size_t AsfHeaderInfo::GetAttributeCount(uint16_t streamNumber) const {
    return size_t(std::count_if(attributes_.begin(), attributes_.end(),
                                [&](const AsfAttribute& a) { return a.streamNumber == streamNumber; }));
}

const AsfAttribute* AsfHeaderInfo::GetAttributeByIndex(uint16_t streamNumber, size_t index) const {
    for (const auto& a : attributes_)
        if (a.streamNumber == streamNumber && index-- == 0) return &a;
    return nullptr;
}

const AsfAttribute* AsfHeaderInfo::GetAttributeByName(uint16_t streamNumber, std::u16string_view name) const {
    for (const auto& a : attributes_)
        if (a.streamNumber == streamNumber && a.name == name) return &a;
    return nullptr;
}

bool AsfHeaderInfo::IsReadOnlyName(std::u16string_view name) {
    static const char16_t* const kNames[] = {
        u"Duration", u"Bitrate", u"Seekable", u"Stridable", u"Broadcast", u"Is_Protected", u"Is_Trusted",
        u"Signature_Name", u"HasAudio", u"HasImage", u"HasScript", u"HasVideo", u"CurrentBitrate",
        u"OptimalBitrate", u"HasAttachedImages", u"Can_Skip_Backward", u"Can_Skip_Forward", u"NumberOfFrames",
        u"FileSize", u"HasArbitraryDataStream", u"HasFileTransferStream", u"WM/ContainerFormat"};
    for (const char16_t* n : kNames)
        if (name == n) return true;
    return false;
}

HResult AsfHeaderInfo::SetAttribute(uint16_t streamNumber, std::u16string_view name, AsfAttrType type,
                                    std::span<const uint8_t> value) {
    if (name.empty() || name.size() > 0x7FFE) return asf::kInvalidArg;
    std::vector<uint8_t> v(value.begin(), value.end());
    if (!NormaliseValue(type, v)) return asf::kInvalidArg;
    if (destination_) {
        if (IsReadOnlyName(name)) return asf::kInvalidArg;
        if (streamNumber != 0 && std::find(streams_.begin(), streams_.end(), streamNumber) == streams_.end())
            return asf::kInvalidArg;
        if (streamNumber == 0 && IsContentDescriptionName(name) && type != AsfAttrType::String)
            return asf::kInvalidArg;
        if (v.size() > 0xFFFFFFFFull - 64) return asf::kInvalidArg;
    }
    for (auto& a : attributes_)
        if (a.streamNumber == streamNumber && a.name == name) {
            a.type = type;
            a.value = std::move(v);
            return asf::kOk;
        }
    attributes_.push_back(AsfAttribute{streamNumber, std::u16string(name), type, std::move(v), 0});
    return asf::kOk;
}

const AsfCodecInfo* AsfHeaderInfo::GetCodecInfo(size_t index) const {
    return index < codecs_.size() ? &codecs_[index] : nullptr;
}

HResult AsfHeaderInfo::AddCodecInfo(const AsfCodecInfo& info) {
    if (info.name.size() > 0xFFFE || info.description.size() > 0xFFFE || info.info.size() > 0xFFFF)
        return asf::kInvalidArg;
    codecs_.push_back(info);
    return asf::kOk;
}

const AsfScript* AsfHeaderInfo::GetScript(size_t index) const {
    return index < scripts_.size() ? &scripts_[index] : nullptr;
}

HResult AsfHeaderInfo::AddScript(std::u16string_view type, std::u16string_view command, uint64_t time) {
    if (type.size() > 0xFFFE || command.size() > 0xFFFE || scripts_.size() >= 0xFFFF)
        return asf::kInvalidArg;
    scripts_.push_back(AsfScript{std::u16string(type), std::u16string(command), time});
    return asf::kOk;
}

void AsfHeaderInfo::SetDestination(std::vector<uint16_t> streamNumbers) {
    destination_ = true;
    streams_ = std::move(streamNumbers);
}

void AsfHeaderInfo::AddParsed(AsfAttribute a) { attributes_.push_back(std::move(a)); }

bool IsContentDescriptionName(std::u16string_view name) {
    for (const char16_t* n : kContentNames)
        if (name == n) return true;
    return false;
}

uint64_t AsfHeader::Duration() const {
    uint64_t pre = fileProperties.preroll * 10000;
    return fileProperties.playDuration > pre ? fileProperties.playDuration - pre : 0;
}

// ---- parser ----

HResult ParseAsfHeader(ByteIO& io, AsfHeader& out) {
    out = AsfHeader{};
    if (!io.Seek(0)) return asf::kInvalidData;
    Guid id;
    uint64_t size = 0;
    uint32_t count = 0;
    uint8_t r1 = 0, r2 = 0;
    if (!id.Read(io) || !io.ReadU64LE(size) || !io.ReadU32LE(count) || !io.ReadU8(r1) || !io.ReadU8(r2))
        return io.Size() >= 30 ? asf::kInvalidData : asf::kHandleEof;
    // Headers hold descriptions, not media: anything larger is not a header we take.
    constexpr uint64_t kMaxHeaderSize = 64ull << 20;
    if (id != asfguid::kHeader || size < 30 || size > kMaxHeaderSize) return asf::kInvalidData;
    std::vector<uint8_t> body;
    if (!io.ReadBytes(body, size - 30)) return asf::kHandleEof;

    ParseState st(out);
    HResult hr = ParseObjects(body, st, 0);
    if (asf::Failed(hr)) return hr;
    if (!st.haveFileProps) return asf::kInvalidData;
    const AsfFileProperties& fp = out.fileProperties;
    if (fp.minPacketSize != fp.maxPacketSize || fp.minPacketSize < 16 || fp.minPacketSize > (1u << 20))
        return asf::kInvalidData;
    out.headerSize = size;

    // Streams declared only inside extended stream properties.
    for (auto& [num, e] : st.extended)
        if (e.hasEmbedded && std::none_of(st.streams.begin(), st.streams.end(),
                                          [&](const AsfStreamConfig& s) { return s.streamNumber == num; })) {
            e.embedded.streamNumber = num;
            st.streams.push_back(e.embedded);
        }
    if (st.streams.empty()) return asf::kInvalidData;
    for (AsfStreamConfig& s : st.streams)
        for (auto& [num, e] : st.extended)
            if (num == s.streamNumber)
                for (AsfStreamName& n : e.fields.names)
                    if (n.languageIndex < out.languages.size()) n.language = out.languages[n.languageIndex];

    for (AsfStreamConfig& s : st.streams) {
        auto ext = st.extended.find(s.streamNumber);
        s.bufferWindow = uint32_t(std::min<uint64_t>(fp.preroll, 0xFFFFFFFF));
        if (ext != st.extended.end()) {
            const AsfStreamConfig& f = ext->second.fields;
            s.hasExtended = true;
            s.startTime = f.startTime;
            s.endTime = f.endTime;
            s.maxObjectSize = f.maxObjectSize;
            s.extFlags = f.extFlags;
            s.languageIndex = f.languageIndex;
            if (f.languageIndex < out.languages.size()) s.language = out.languages[f.languageIndex];
            s.avgTimePerFrame = f.avgTimePerFrame;
            s.names = f.names;
            s.payloadExtensions = f.payloadExtensions;
            s.bitrate = ext->second.dataBitrate;
            s.bufferWindow = ext->second.bufferSize;
        }
        auto br = st.bitrates.find(s.streamNumber);
        if (s.bitrate == 0 && br != st.bitrates.end()) s.bitrate = br->second;
        if (s.bitrate == 0 && s.streamType == asfguid::kAudioMedia && s.typeSpecific.size() >= 12)
            s.bitrate = GetU32LE(s.typeSpecific.data() + kWaveFormatAvgBytesOffset) * 8;
        const AsfAttribute* vbr = out.info.GetAttributeByName(s.streamNumber, u"IsVBR");
        s.vbr = vbr && vbr->value.size() >= 4 && GetU32LE(vbr->value.data()) != 0;
        out.profile.AddStream(s);
    }

    for (auto& g : st.groups) out.profile.AddGroup(std::move(g));

    // What the file's properties say about itself, as attributes of the file.
    bool hasAudio = false, hasVideo = false;
    for (const auto& s : out.profile.Streams()) {
        hasAudio |= s.streamType == asfguid::kAudioMedia;
        hasVideo |= s.streamType == asfguid::kVideoMedia;
    }
    if (out.Duration() > 0) AddQword(out.info, u"Duration", out.Duration());
    AddDword(out.info, u"Bitrate", AsfAttrType::Dword, fp.maxBitrate);
    AddDword(out.info, u"Seekable", AsfAttrType::Bool, (fp.flags & kFilePropSeekable) ? 1 : 0);
    AddDword(out.info, u"Broadcast", AsfAttrType::Bool, (fp.flags & kFilePropBroadcast) ? 1 : 0);
    AddQword(out.info, u"FileSize", fp.fileSize);
    AddDword(out.info, u"HasAudio", AsfAttrType::Bool, hasAudio);
    AddDword(out.info, u"HasVideo", AsfAttrType::Bool, hasVideo);

    // The data object follows the header.
    out.dataObjectOffset = size;
    Guid dataId, fileId;
    uint64_t dataSize = 0, packets = 0;
    uint16_t reserved = 0;
    if (!io.Seek(size) || !dataId.Read(io) || !io.ReadU64LE(dataSize) || !fileId.Read(io) ||
        !io.ReadU64LE(packets) || !io.ReadU16LE(reserved))
        return asf::kHandleEof;
    if (dataId != asfguid::kData || (dataSize != 0 && dataSize < 50)) return asf::kInvalidData;
    out.dataObjectSize = dataSize;
    out.dataPacketCount = packets;
    if (fp.flags & kFilePropBroadcast) {
        // A live capture's data size and packet count are written before
        // its packets are known: they mean nothing, the packets run to the
        // end of the file.
        out.dataObjectSize = 0;
        out.dataPacketCount = 0;
    }
    out.firstPacketOffset = size + 50;
    return asf::kOk;
}

// ---- renderers ----

std::vector<uint8_t> RenderObject(const Guid& id, std::span<const uint8_t> body) {
    Out o;
    o.G(id);
    o.U64(24 + body.size());
    o.Bytes(body);
    return std::move(o.b);
}

std::vector<uint8_t> RenderFileProperties(const AsfFileProperties& p) {
    Out o;
    o.G(p.fileId);
    o.U64(p.fileSize);
    o.U64(p.creationDate);
    o.U64(p.packetCount);
    o.U64(p.playDuration);
    o.U64(p.sendDuration);
    o.U64(p.preroll);
    o.U32(p.flags);
    o.U32(p.minPacketSize);
    o.U32(p.maxPacketSize);
    o.U32(p.maxBitrate);
    return RenderObject(asfguid::kFileProperties, o.b);
}

std::vector<uint8_t> RenderStreamProperties(const AsfStreamConfig& s) {
    Out o;
    o.G(s.streamType);
    o.G(s.errorCorrectionType);
    o.U64(s.timeOffset);
    o.U32(uint32_t(s.typeSpecific.size()));
    o.U32(uint32_t(s.errorCorrectionData.size()));
    o.U16(uint16_t((s.streamNumber & 0x7F) | (s.encrypted ? 0x8000 : 0)));
    o.U32(0);
    o.Bytes(s.typeSpecific);
    o.Bytes(s.errorCorrectionData);
    return RenderObject(asfguid::kStreamProperties, o.b);
}

std::vector<uint8_t> RenderExtendedStreamProperties(const AsfStreamConfig& s) {
    Out o;
    o.U64(s.startTime);
    o.U64(s.endTime);
    o.U32(s.bitrate);
    o.U32(s.bufferWindow);
    o.U32(s.bufferWindow);
    o.U32(s.bitrate);
    o.U32(s.bufferWindow);
    o.U32(s.bufferWindow);
    o.U32(s.maxObjectSize);
    o.U32(s.extFlags);
    o.U16(s.streamNumber);
    o.U16(s.languageIndex);
    o.U64(s.avgTimePerFrame);
    o.U16(uint16_t(s.names.size()));
    o.U16(uint16_t(s.payloadExtensions.size()));
    for (const auto& n : s.names) {
        o.U16(n.languageIndex);
        o.U16(uint16_t(Out::TextBytes(n.name)));
        o.Text(n.name);
    }
    for (const auto& x : s.payloadExtensions) {
        o.G(x.id);
        o.U16(x.dataSize);
        o.U32(uint32_t(x.info.size()));
        o.Bytes(x.info);
    }
    return RenderObject(asfguid::kExtendedStreamProperties, o.b);
}

std::vector<uint8_t> RenderCodecList(const AsfHeaderInfo& info) {
    Out o;
    o.G(asfguid::kReserved2);
    o.U32(uint32_t(info.GetCodecInfoCount()));
    for (size_t i = 0; i < info.GetCodecInfoCount(); ++i) {
        const AsfCodecInfo& c = *info.GetCodecInfo(i);
        o.U16(c.type == AsfCodecType::Video ? 1 : c.type == AsfCodecType::Audio ? 2 : 0xFFFF);
        o.U16(uint16_t(c.name.size() + 1));
        o.Text(c.name);
        o.U16(uint16_t(c.description.size() + 1));
        o.Text(c.description);
        o.U16(uint16_t(c.info.size()));
        o.Bytes(c.info);
    }
    return RenderObject(asfguid::kCodecList, o.b);
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
    Out o;
    o.G(asfguid::kReserved3);
    o.U16(uint16_t(info.GetScriptCount()));
    o.U16(uint16_t(types.size()));
    for (const auto& t : types) {
        o.U16(uint16_t(t.size() + 1));
        o.Text(t);
    }
    for (size_t i = 0; i < info.GetScriptCount(); ++i) {
        const AsfScript& s = *info.GetScript(i);
        o.U32(uint32_t(std::min<uint64_t>(s.time / 10000, 0xFFFFFFFF)));
        o.U16(typeIndex[i]);
        o.U16(uint16_t(s.command.size() + 1));
        o.Text(s.command);
    }
    return RenderObject(asfguid::kScriptCommand, o.b);
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
    Out o;
    for (const auto& t : texts) o.U16(uint16_t(Out::TextBytes(t)));
    for (const auto& t : texts) o.Text(t);
    return RenderObject(asfguid::kContentDescription, o.b);
}

namespace {
bool GoesToExtendedContent(const AsfAttribute& a) {
    return a.streamNumber == 0 && !IsContentDescriptionName(a.name) && a.type != AsfAttrType::Guid &&
           a.languageIndex == 0 && a.value.size() <= 0xFFFF && Out::TextBytes(a.name) <= 0xFFFF;
}
bool GoesToMetadata(const AsfAttribute& a) {
    return a.streamNumber != 0 && a.type != AsfAttrType::Guid && a.languageIndex == 0 &&
           Out::TextBytes(a.name) <= 0xFFFF;
}
bool GoesToLibrary(const AsfAttribute& a) {
    if (a.streamNumber == 0 && IsContentDescriptionName(a.name) && a.type == AsfAttrType::String) return false;
    return !GoesToExtendedContent(a) && !GoesToMetadata(a) && Out::TextBytes(a.name) <= 0xFFFF;
}
}  // namespace

std::vector<uint8_t> RenderExtendedContentDescription(const AsfHeaderInfo& info) {
    Out o;
    uint16_t count = 0;
    o.U16(0);
    for (const auto& a : info.Attributes()) {
        if (!GoesToExtendedContent(a) || count == 0xFFFF) continue;
        o.U16(uint16_t(Out::TextBytes(a.name)));
        o.Text(a.name);
        o.U16(ToAsfType(a.type));
        o.U16(uint16_t(a.value.size()));
        o.Bytes(a.value);
        ++count;
    }
    if (count == 0) return {};
    PutU16LE(o.b.data(), count);
    return RenderObject(asfguid::kExtendedContentDescription, o.b);
}

std::vector<uint8_t> RenderMetadata(const AsfHeaderInfo& info, bool library) {
    Out o;
    uint16_t count = 0;
    o.U16(0);
    for (const auto& a : info.Attributes()) {
        if (!(library ? GoesToLibrary(a) : GoesToMetadata(a)) || count == 0xFFFF) continue;
        std::vector<uint8_t> v = a.value;
        if (a.type == AsfAttrType::Bool) v.resize(2);  // a WORD in these objects
        o.U16(library ? a.languageIndex : 0);
        o.U16(a.streamNumber);
        o.U16(uint16_t(Out::TextBytes(a.name)));
        o.U16(ToAsfType(a.type));
        o.U32(uint32_t(v.size()));
        o.Text(a.name);
        o.Bytes(v);
        ++count;
    }
    if (count == 0) return {};
    PutU16LE(o.b.data(), count);
    return RenderObject(library ? asfguid::kMetadataLibrary : asfguid::kMetadata, o.b);
}

std::vector<uint8_t> RenderLanguageList(const std::vector<std::u16string>& languages) {
    Out o;
    o.U16(uint16_t(languages.size()));
    for (const auto& l : languages) {
        std::u16string t = l.substr(0, 126);
        o.U8(uint8_t(Out::TextBytes(t)));
        o.Text(t);
    }
    return RenderObject(asfguid::kLanguageList, o.b);
}

std::vector<uint8_t> RenderStreamBitrates(const AsfProfile& profile) {
    Out o;
    o.U16(uint16_t(profile.GetStreamCount()));
    for (const auto& s : profile.Streams()) {
        o.U16(s.streamNumber & 0x7F);
        o.U32(s.bitrate);
    }
    return RenderObject(asfguid::kStreamBitrateProperties, o.b);
}

}  // namespace vt
