#pragma once
// The ASF header: stream configurations (a profile), header information
// (attributes, codec descriptions, script commands) and the file properties,
// with the parser that fills them from a file and the renderers the writer
// uses. Every size field is checked against the object that holds it.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/AsfTypes.h"

namespace vt {

class ByteIO;

struct AsfStreamName {
    uint16_t languageIndex = 0;  // into the file's language list
    std::u16string language;     // that entry ("en-us"), empty when the file has none
    std::u16string name;
};

struct AsfPayloadExtension {
    Guid id;
    uint16_t dataSize = 0xFFFF;  // 0xFFFF: variable, with a 16-bit length before the data
    std::vector<uint8_t> info;
};

// One stream's configuration: what its stream properties object and its
// extended stream properties say.
struct AsfStreamConfig {
    uint16_t streamNumber = 0;
    Guid streamType;  // ASF stream type (audio, video, command, ...)
    Guid errorCorrectionType = asfguid::kNoErrorCorrection;
    uint64_t timeOffset = 0;
    bool encrypted = false;
    std::vector<uint8_t> typeSpecific;  // WAVEFORMATEX, or width/height/BITMAPINFOHEADER for video
    std::vector<uint8_t> errorCorrectionData;

    uint32_t bitrate = 0;       // bits per second
    uint32_t bufferWindow = 0;  // milliseconds
    bool vbr = false;

    // From the extended stream properties (kept when the file has them).
    bool hasExtended = false;
    uint64_t startTime = 0, endTime = 0;
    uint32_t maxObjectSize = 0;
    uint32_t extFlags = 0;
    uint16_t languageIndex = 0;    // into the file's language list (as the file states it)
    std::u16string language;       // that entry ("en-us"); empty when the stream has none
    uint64_t avgTimePerFrame = 0;  // 100 ns
    std::vector<AsfStreamName> names;
    std::vector<AsfPayloadExtension> payloadExtensions;

    uint16_t StreamNumber() const { return streamNumber; }
    AsfResult SetStreamNumber(uint16_t n);  // 1 to 127
    uint32_t BufferWindow() const { return bufferWindow; }
    void SetBufferWindow(uint32_t ms) { bufferWindow = ms; }
    uint32_t Bitrate() const { return bitrate; }
    // kMediaTypeVideo, kMediaTypeAudio, kMediaTypeScript, or the ASF stream type.
    Guid MajorType() const;
    AsfMediaType GetMediaType() const;
    // Audio spread parameters (span 1 when the stream has none).
    uint8_t SpreadSpan() const;
    uint16_t SpreadPacketSize() const;
    uint16_t SpreadChunkSize() const;
};

// An object of the header that names streams: mutual exclusion (plain,
// advanced, by groups), bandwidth sharing, stream prioritization. Its stream
// numbers are kept in records (one record, or one per group); `head` holds
// the bytes before them (the exclusion or sharing type, the rates), `flags`
// the prioritization's flags, one per stream of its record.
struct AsfStreamGroup {
    Guid id;
    std::vector<uint8_t> head;
    std::vector<std::vector<uint16_t>> records;
    std::vector<std::vector<uint16_t>> flags;
    // What is left once only `streams` remain; false when that says nothing
    // (an exclusion of fewer than two streams or groups, a list without a stream).
    bool KeepOnly(const std::vector<uint16_t>& streams);
    bool InHeaderExtension() const { return !(id == asfguid::kMutualExclusion); }
    std::vector<uint8_t> Render() const;  // the whole object
};
// Reads the object `id` with body `body`; false when it is not one of those
// objects or does not fit.
bool ParseStreamGroup(const Guid& id, std::span<const uint8_t> body, AsfStreamGroup& out);

// The stream configurations of a file, in the order of the file's header.
class AsfProfile {
  public:
    uint32_t GetStreamCount() const { return uint32_t(streams_.size()); }
    const AsfStreamConfig* GetStream(uint32_t index) const;
    std::optional<AsfStreamConfig> GetStreamByNumber(uint16_t number) const;
    AsfResult RemoveStreamByNumber(uint16_t number);
    AsfResult AddStream(const AsfStreamConfig& config);       // a free number from 1 to 127
    AsfResult ReconfigStream(const AsfStreamConfig& config);  // replaces the stream of that number
    const std::vector<AsfStreamConfig>& Streams() const { return streams_; }
    // The objects that name the streams. A stream removed from the profile
    // leaves them, so a stream added later under its number is not taken for it.
    const std::vector<AsfStreamGroup>& Groups() const { return groups_; }
    void AddGroup(AsfStreamGroup group) { groups_.push_back(std::move(group)); }

  private:
    std::vector<AsfStreamConfig> streams_;
    std::vector<AsfStreamGroup> groups_;
};

struct AsfAttribute {
    uint16_t streamNumber = 0;  // 0: the file
    std::u16string name;
    AsfAttrType type = AsfAttrType::String;
    std::vector<uint8_t> value;  // strings: UTF-16LE with the terminator; BOOL: 4 bytes
    uint16_t languageIndex = 0;
};

struct AsfCodecInfo {
    AsfCodecType type = AsfCodecType::Unknown;
    std::u16string name;
    std::u16string description;
    std::vector<uint8_t> info;
};

struct AsfScript {
    std::u16string type;
    std::u16string command;
    uint64_t time = 0;  // 100 ns
};

// Attributes per stream number (0 = file level), codec descriptions and
// script commands. A reader's instance is filled by the parser; a writer's
// instance is a destination that refuses what it cannot write.
class AsfHeaderInfo {
  public:
    size_t GetAttributeCount(uint16_t streamNumber) const;
    const AsfAttribute* GetAttributeByIndex(uint16_t streamNumber, size_t index) const;
    const AsfAttribute* GetAttributeByName(uint16_t streamNumber, std::u16string_view name) const;
    // Sets (or replaces) an attribute. A destination refuses, with kInvalidArg,
    // attributes that describe the file itself (duration, bit rate, ...),
    // stream numbers it has no stream for, and values of the wrong size.
    AsfResult SetAttribute(uint16_t streamNumber, std::u16string_view name, AsfAttrType type,
                           std::span<const uint8_t> value);

    size_t GetCodecInfoCount() const { return codecs_.size(); }
    const AsfCodecInfo* GetCodecInfo(size_t index) const;
    AsfResult AddCodecInfo(const AsfCodecInfo& info);

    size_t GetScriptCount() const { return scripts_.size(); }
    const AsfScript* GetScript(size_t index) const;
    AsfResult AddScript(std::u16string_view type, std::u16string_view command, uint64_t time);

    // Makes this a writer's destination for the given stream numbers.
    void SetDestination(std::vector<uint16_t> streamNumbers);
    bool IsDestination() const { return destination_; }

    // Parser side: adds without the destination's checks.
    void AddParsed(AsfAttribute a);
    const std::vector<AsfAttribute>& Attributes() const { return attributes_; }

    // Names a writer computes itself and never takes from a caller.
    static bool IsReadOnlyName(std::u16string_view name);

  private:
    std::vector<AsfAttribute> attributes_;
    std::vector<AsfCodecInfo> codecs_;
    std::vector<AsfScript> scripts_;
    bool destination_ = false;
    std::vector<uint16_t> streams_;
};

struct AsfFileProperties {
    Guid fileId;
    uint64_t fileSize = 0;
    uint64_t creationDate = 0;  // 100 ns since 1601-01-01
    uint64_t packetCount = 0;
    uint64_t playDuration = 0;  // 100 ns, preroll included
    uint64_t sendDuration = 0;  // 100 ns
    uint64_t preroll = 0;       // milliseconds
    uint32_t flags = 0;         // 1 broadcast, 2 seekable
    uint32_t minPacketSize = 0;
    uint32_t maxPacketSize = 0;
    uint32_t maxBitrate = 0;
};
constexpr uint32_t kFilePropBroadcast = 0x1;
constexpr uint32_t kFilePropSeekable = 0x2;

// An object the parser does not know, kept byte for byte (body without the 24-byte object header).
struct AsfRawObject {
    Guid id;
    std::vector<uint8_t> body;
};

struct AsfHeader {
    AsfFileProperties fileProperties;
    AsfProfile profile;
    AsfHeaderInfo info;
    std::vector<std::u16string> languages;
    std::vector<AsfRawObject> unknownObjects;           // top level of the header
    std::vector<AsfRawObject> unknownExtensionObjects;  // inside the header extension
    uint64_t headerSize = 0;
    uint64_t dataObjectOffset = 0;
    uint64_t dataObjectSize = 0;   // 0 when the file leaves it open
    uint64_t dataPacketCount = 0;  // as the data object states it
    uint64_t firstPacketOffset = 0;

    uint32_t PacketSize() const { return fileProperties.minPacketSize; }
    // Play duration without the preroll (100 ns); 0 when the file states none.
    uint64_t Duration() const;
};

// Parses the header object and the data object's header from the start of
// `io`. Returns kOk, kInvalidData (not ASF, or a size that does not fit) or
// kHandleEof (the file ends inside the header).
AsfResult ParseAsfHeader(ByteIO& io, AsfHeader& out);

// Renderers used by the writer: each returns the whole object, header included.
std::vector<uint8_t> RenderFileProperties(const AsfFileProperties& p);
std::vector<uint8_t> RenderStreamProperties(const AsfStreamConfig& s);
std::vector<uint8_t> RenderExtendedStreamProperties(const AsfStreamConfig& s);
std::vector<uint8_t> RenderCodecList(const AsfHeaderInfo& info);
std::vector<uint8_t> RenderScriptCommands(const AsfHeaderInfo& info);
std::vector<uint8_t> RenderContentDescription(const AsfHeaderInfo& info);  // empty when no field is set
std::vector<uint8_t> RenderExtendedContentDescription(
    const AsfHeaderInfo& info);                                                // empty when nothing to say
std::vector<uint8_t> RenderMetadata(const AsfHeaderInfo& info, bool library);  // empty when nothing to say
std::vector<uint8_t> RenderStreamBitrates(const AsfProfile& profile);
std::vector<uint8_t> RenderLanguageList(const std::vector<std::u16string>& languages);
std::vector<uint8_t> RenderObject(const Guid& id, std::span<const uint8_t> body);

// Where file-level attributes go: the five content description fields.
bool IsContentDescriptionName(std::u16string_view name);

}  // namespace vt
