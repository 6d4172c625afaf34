#include "platform/AsfHeader.h"

#include <algorithm>
#include <map>

#include "platform/AsfObjects.h"
#include "platform/ByteIO.h"
#include "platform/Bytes.h"

namespace vt {

namespace {

constexpr int kMaxNesting = 2;

struct ParseState {
    explicit ParseState(AsfHeader& header) : h(header) {}
    AsfHeader& h;
    bool haveFileProps = false;
    std::vector<AsfStreamConfig> streams;
    std::map<uint16_t, ExtendedProps> extended;
    std::map<uint16_t, uint32_t> bitrates;
    std::vector<AsfStreamGroup> groups;
};

AsfResult ParseObjects(std::span<const uint8_t> area, ParseState& st, int depth);

AsfResult ParseOneObject(const Guid& id, std::span<const uint8_t> body, ParseState& st, int depth) {
    ByteReader c(body);
    AsfHeader& h = st.h;
    bool ok = true;
    if (id == asfguid::kFileProperties && depth == 0) {
        ok = ParseFileProperties(c, h.fileProperties);
        st.haveFileProps = ok;
    } else if (id == asfguid::kStreamProperties && depth == 0) {
        AsfStreamConfig s;
        ok = ParseStreamProperties(c, s);
        if (ok) {
            auto same = std::find_if(st.streams.begin(), st.streams.end(), [&](const AsfStreamConfig& o) {
                return o.streamNumber == s.streamNumber;
            });
            if (same != st.streams.end()) return asf::kInvalidData;
            st.streams.push_back(std::move(s));
        }
    } else if (id == asfguid::kHeaderExtension && depth == 0) {
        ReadGuid(c);
        c.U16LE();
        uint32_t size = c.U32LE();
        if (!c.Ok() || size > c.Remaining()) return asf::kInvalidData;
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
        ok = ParseStreamBitrates(c, st.bitrates);
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

AsfResult ParseObjects(std::span<const uint8_t> area, ParseState& st, int depth) {
    if (depth > kMaxNesting) return asf::kInvalidData;
    ByteReader r(area);
    while (r.Remaining() >= 24) {
        const size_t pos = r.Pos();
        const Guid id = ReadGuid(r);
        const uint64_t size = r.U64LE();
        if (size < 24 || size > area.size() - pos) return asf::kInvalidData;
        AsfResult hr = ParseOneObject(id, area.subspan(pos + 24, size_t(size - 24)), st, depth);
        if (asf::Failed(hr)) return hr;
        r.Seek(pos + size_t(size));
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

AsfResult AsfStreamConfig::SetStreamNumber(uint16_t n) {
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
        // WAVEFORMATEX: format tag, channels, sample rate, bytes a second, block align.
        ByteReader fields(typeSpecific);
        mt.subtype = FourCCGuid(fields.U16LE());
        fields.Skip(10);
        mt.fixedSizeSamples = true;
        mt.sampleSize = fields.U16LE();  // nBlockAlign
        mt.formatType = kFormatWaveFormatEx;
        mt.format = typeSpecific;
    } else if (streamType == asfguid::kVideoMedia && typeSpecific.size() >= 11 + 40) {
        // Width, height, a flags byte, the format's size, then the BITMAPINFOHEADER.
        ByteReader fields(typeSpecific);
        const uint32_t width = fields.U32LE(), height = fields.U32LE();
        fields.Skip(1);
        const size_t bihLen = std::min<size_t>(fields.U16LE(), fields.Remaining());
        const std::span<const uint8_t> bih = fields.Bytes(bihLen);
        ByteReader header(std::span<const uint8_t>(typeSpecific).subspan(11));
        header.Skip(16);                          // biSize, biWidth, biHeight, biPlanes, biBitCount
        mt.subtype = FourCCGuid(header.U32LE());  // biCompression
        mt.temporalCompression = true;
        mt.formatType = kFormatVideoInfo;
        mt.format.assign(kVideoInfoHeaderSize, 0);
        for (int r = 0; r < 2; ++r) {  // rcSource, rcTarget
            PutU32LE(&mt.format[r * 16 + 8], width);
            PutU32LE(&mt.format[r * 16 + 12], height);
        }
        PutU32LE(&mt.format[kVideoInfoBitRateOffset], bitrate);
        PutU64LE(&mt.format[40], avgTimePerFrame);
        mt.format.insert(mt.format.end(), bih.begin(), bih.end());
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
    if (errorCorrectionData.size() < 5) return 0;
    ByteReader r(errorCorrectionData);
    r.Skip(1);  // the span
    return r.U16LE();
}
uint16_t AsfStreamConfig::SpreadChunkSize() const {
    if (errorCorrectionData.size() < 5) return 0;
    ByteReader r(errorCorrectionData);
    r.Skip(3);  // the span, the packet size
    return r.U16LE();
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

AsfResult AsfProfile::RemoveStreamByNumber(uint16_t number) {
    auto it = std::find_if(streams_.begin(), streams_.end(),
                           [&](const AsfStreamConfig& s) { return s.streamNumber == number; });
    if (it == streams_.end()) return asf::kInvalidStream;
    streams_.erase(it);
    std::vector<uint16_t> rest;
    for (const auto& s : streams_) rest.push_back(s.streamNumber);
    std::erase_if(groups_, [&](AsfStreamGroup& g) { return !g.KeepOnly(rest); });
    return asf::kOk;
}

AsfResult AsfProfile::AddStream(const AsfStreamConfig& config) {
    if (config.streamNumber < 1 || config.streamNumber > 127) return asf::kInvalidArg;
    if (GetStreamByNumber(config.streamNumber)) return asf::kInvalidStream;
    streams_.push_back(config);
    return asf::kOk;
}

AsfResult AsfProfile::ReconfigStream(const AsfStreamConfig& config) {
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
    static const char16_t* const kNames[] = {u"Duration",
                                             u"Bitrate",
                                             u"Seekable",
                                             u"Stridable",
                                             u"Broadcast",
                                             u"Is_Protected",
                                             u"Is_Trusted",
                                             u"Signature_Name",
                                             u"HasAudio",
                                             u"HasImage",
                                             u"HasScript",
                                             u"HasVideo",
                                             u"CurrentBitrate",
                                             u"OptimalBitrate",
                                             u"HasAttachedImages",
                                             u"Can_Skip_Backward",
                                             u"Can_Skip_Forward",
                                             u"NumberOfFrames",
                                             u"FileSize",
                                             u"HasArbitraryDataStream",
                                             u"HasFileTransferStream",
                                             u"WM/ContainerFormat"};
    for (const char16_t* n : kNames)
        if (name == n) return true;
    return false;
}

AsfResult AsfHeaderInfo::SetAttribute(uint16_t streamNumber, std::u16string_view name, AsfAttrType type,
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

AsfResult AsfHeaderInfo::AddCodecInfo(const AsfCodecInfo& info) {
    if (info.name.size() > 0xFFFE || info.description.size() > 0xFFFE || info.info.size() > 0xFFFF)
        return asf::kInvalidArg;
    codecs_.push_back(info);
    return asf::kOk;
}

const AsfScript* AsfHeaderInfo::GetScript(size_t index) const {
    return index < scripts_.size() ? &scripts_[index] : nullptr;
}

AsfResult AsfHeaderInfo::AddScript(std::u16string_view type, std::u16string_view command, uint64_t time) {
    if (type.size() > 0xFFFE || command.size() > 0xFFFE || scripts_.size() >= 0xFFFF) return asf::kInvalidArg;
    scripts_.push_back(AsfScript{std::u16string(type), std::u16string(command), time});
    return asf::kOk;
}

void AsfHeaderInfo::SetDestination(std::vector<uint16_t> streamNumbers) {
    destination_ = true;
    streams_ = std::move(streamNumbers);
}

void AsfHeaderInfo::AddParsed(AsfAttribute a) {
    attributes_.push_back(std::move(a));
}

uint64_t AsfHeader::Duration() const {
    uint64_t pre = fileProperties.preroll * 10000;
    return fileProperties.playDuration > pre ? fileProperties.playDuration - pre : 0;
}

// ---- parser ----

AsfResult ParseAsfHeader(ByteIO& io, AsfHeader& out) {
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
    AsfResult hr = ParseObjects(body, st, 0);
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
        if (s.bitrate == 0 && s.streamType == asfguid::kAudioMedia && s.typeSpecific.size() >= 12) {
            ByteReader format(s.typeSpecific);
            format.Skip(kWaveFormatAvgBytesOffset);
            s.bitrate = format.U32LE() * 8;
        }
        const AsfAttribute* vbr = out.info.GetAttributeByName(s.streamNumber, u"IsVBR");
        s.vbr = vbr && vbr->value.size() >= 4 && ByteReader(vbr->value).U32LE() != 0;
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

}  // namespace vt
