// Hand-built ASF files for the packet layouts ffmpeg does not write, the
// reader's range and callback contract, and damaged input.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "core/ErrorCodes.h"
#include "tests/wm/WmTestSupport.h"

namespace vt::test {
namespace {

constexpr uint32_t kPacket = 256;
constexpr uint64_t kPreroll = 1000;  // ms

void PutVar(std::vector<uint8_t>& b, int type, uint32_t v) {
    for (int i = 0; i < (type == 3 ? 4 : type); ++i) b.push_back(uint8_t(v >> (8 * i)));
}
size_t VarSize(int type) {
    return type == 3 ? 4 : size_t(type);
}

struct PayloadLayout {
    uint8_t stream = 1;
    bool key = false;
    uint32_t object = 0;
    uint32_t offset = 0;              // or the presentation time of a compressed payload
    std::vector<uint8_t> replicated;  // size and time (and extension data), or one byte for compressed
    std::vector<uint8_t> data;
};

struct PacketLayout {
    bool errorCorrection = true;
    int packetLengthType = 0, sequenceType = 0, paddingType = 2;
    int replicatedType = 1, offsetType = 3, objectType = 1, streamType = 1;
    bool multiple = true;
    int payloadLengthType = 2;
    uint32_t explicitLength = 0;  // with packetLengthType: the stated length (0: the packet size)
    uint32_t sendTime = 0;        // milliseconds
    std::vector<PayloadLayout> payloads;
};

std::vector<uint8_t> Replicated(uint32_t objectSize, uint32_t ptsMs, std::vector<uint8_t> ext = {}) {
    std::vector<uint8_t> r(8);
    PutU32LE(r.data(), objectSize);
    PutU32LE(r.data() + 4, ptsMs);
    r.insert(r.end(), ext.begin(), ext.end());
    return r;
}

std::vector<uint8_t> BuildPacket(const PacketLayout& s) {
    std::vector<uint8_t> body;
    if (s.multiple) body.push_back(uint8_t(s.payloads.size() | (s.payloadLengthType << 6)));
    for (const auto& p : s.payloads) {
        PutVar(body, s.streamType, p.stream | (p.key ? 0x80 : 0));
        PutVar(body, s.objectType, p.object);
        PutVar(body, s.offsetType, p.offset);
        PutVar(body, s.replicatedType, uint32_t(p.replicated.size()));
        body.insert(body.end(), p.replicated.begin(), p.replicated.end());
        if (s.multiple) PutVar(body, s.payloadLengthType, uint32_t(p.data.size()));
        body.insert(body.end(), p.data.begin(), p.data.end());
    }
    const uint32_t length = s.explicitLength ? s.explicitLength : kPacket;
    const size_t fixed = (s.errorCorrection ? 3 : 0) + 2 + VarSize(s.packetLengthType) +
                         VarSize(s.sequenceType) + VarSize(s.paddingType) + 6;
    const uint32_t padding = uint32_t(length - fixed - body.size());
    std::vector<uint8_t> p;
    if (s.errorCorrection) {
        p.push_back(0x82);
        p.push_back(0);
        p.push_back(0);
    }
    p.push_back(uint8_t((s.multiple ? 1 : 0) | (s.sequenceType << 1) | (s.paddingType << 3) |
                        (s.packetLengthType << 5)));
    p.push_back(uint8_t(s.replicatedType | (s.offsetType << 2) | (s.objectType << 4) | (s.streamType << 6)));
    PutVar(p, s.packetLengthType, length);
    PutVar(p, s.sequenceType, 0);
    PutVar(p, s.paddingType, padding);
    PutVar(p, 3, s.sendTime);
    for (int i = 0; i < 2; ++i) p.push_back(0);  // the duration
    p.insert(p.end(), body.begin(), body.end());
    p.resize(kPacket, 0);
    return p;
}

AsfStreamConfig AudioStream(uint16_t number) {
    AsfStreamConfig s;
    s.streamNumber = number;
    s.streamType = asfguid::kAudioMedia;
    s.typeSpecific.assign(18, 0);
    PutU16LE(&s.typeSpecific[0], 0x161);
    PutU16LE(&s.typeSpecific[2], 1);
    PutU32LE(&s.typeSpecific[4], 22050);
    PutU32LE(&s.typeSpecific[8], 4000);
    PutU16LE(&s.typeSpecific[12], 128);
    s.bufferWindow = 1000;
    return s;
}

// A stream whose key-frame bits are taken as they are (audio samples are all clean points).
AsfStreamConfig CommandStream(uint16_t number) {
    AsfStreamConfig s;
    s.streamNumber = number;
    s.streamType = asfguid::kCommandMedia;
    return s;
}

// A whole file: header (with extended stream properties for streams that
// have them), data object with the packets.
std::vector<uint8_t> BuildFile(const std::vector<AsfStreamConfig>& streams,
                               const std::vector<std::vector<uint8_t>>& packets,
                               uint64_t playDuration = 50000000, bool embedded = false) {
    AsfFileProperties fp;
    fp.preroll = kPreroll;
    fp.playDuration = playDuration;
    fp.minPacketSize = fp.maxPacketSize = kPacket;
    fp.packetCount = packets.size();
    std::vector<uint8_t> objs = RenderFileProperties(fp);
    uint32_t count = 1;
    std::vector<uint8_t> ext;
    for (const auto& s : streams) {
        auto o = RenderStreamProperties(s);
        if (!embedded) {
            objs.insert(objs.end(), o.begin(), o.end());
            ++count;
        }
        if (s.hasExtended || embedded) {
            auto e = RenderExtendedStreamProperties(s);
            if (embedded) {  // the stream properties object inside the extended one
                e.insert(e.end(), o.begin(), o.end());
                PutU64LE(&e[16], e.size());
            }
            ext.insert(ext.end(), e.begin(), e.end());
        }
    }
    if (!ext.empty()) {
        std::vector<uint8_t> body(22, 0);
        asfguid::kReserved1.ToBytes(body.data());
        PutU16LE(&body[16], 6);
        PutU32LE(&body[18], uint32_t(ext.size()));
        body.insert(body.end(), ext.begin(), ext.end());
        auto o = RenderObject(asfguid::kHeaderExtension, body);
        objs.insert(objs.end(), o.begin(), o.end());
        ++count;
    }
    std::vector<uint8_t> f(30);
    asfguid::kHeader.ToBytes(f.data());
    PutU64LE(&f[16], 30 + objs.size());
    PutU32LE(&f[24], count);
    f[28] = 1;
    f[29] = 2;
    f.insert(f.end(), objs.begin(), objs.end());
    std::vector<uint8_t> data(50, 0);
    asfguid::kData.ToBytes(data.data());
    PutU64LE(&data[16], 50 + packets.size() * kPacket);
    PutU64LE(&data[40], packets.size());
    data[48] = data[49] = 1;
    f.insert(f.end(), data.begin(), data.end());
    for (const auto& p : packets) f.insert(f.end(), p.begin(), p.end());
    return f;
}

std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed + i * 7);
    return v;
}

struct Read {
    AsfResult hr;
    std::vector<Sample> samples;
};

struct SinkAll : IAsfSampleSink {
    std::vector<Sample> samples;
    AsfResult OnStreamSample(uint16_t s, uint64_t t, uint64_t d, uint32_t f,
                             const AsfSampleBuffer& b) override {
        samples.push_back({s, t, d, f, b.ToVector()});
        return asf::kOk;
    }
};

Read ReadAll(std::vector<uint8_t> file) {
    AsfReader r;
    AsfResult hr = r.Open(std::make_unique<MemoryIO>(std::move(file)));
    if (asf::Failed(hr)) return {hr, {}};
    SinkAll sink;
    hr = r.Run(sink);
    return {hr, sink.samples};
}

TEST(WmPackets, MultiplePayloadsWithEveryFieldLengthType) {
    for (int lenType = 1; lenType <= 3; ++lenType)
        for (int fieldType = 1; fieldType <= 3; ++fieldType) {
            SCOPED_TRACE("payload length type " + std::to_string(lenType) + ", field type " +
                         std::to_string(fieldType));
            PacketLayout p;
            p.payloadLengthType = lenType;
            p.offsetType = fieldType;
            p.objectType = fieldType;
            p.paddingType = fieldType;
            p.sequenceType = fieldType;
            p.payloads = {{1, true, 0, 0, Replicated(20, 1000), Bytes(20, 1)},
                          {2, false, 0, 0, Replicated(30, 1040), Bytes(30, 2)},
                          {1, false, 1, 0, Replicated(10, 1066), Bytes(10, 3)}};
            Read r = ReadAll(BuildFile({CommandStream(1), CommandStream(2)}, {BuildPacket(p)}));
            ASSERT_EQ(r.hr, asf::kOk);
            ASSERT_EQ(r.samples.size(), 3u);
            EXPECT_EQ(r.samples[0].stream, 1);
            EXPECT_EQ(r.samples[0].time, 0u);
            EXPECT_EQ(r.samples[0].flags, kSampleCleanPoint);
            EXPECT_EQ(r.samples[0].bytes, Bytes(20, 1));
            EXPECT_EQ(r.samples[1].stream, 2);
            EXPECT_EQ(r.samples[1].time, 400000u);
            EXPECT_EQ(r.samples[1].flags, 0u);
            EXPECT_EQ(r.samples[1].bytes, Bytes(30, 2));
            EXPECT_EQ(r.samples[2].time, 660000u);
            EXPECT_EQ(r.samples[2].bytes, Bytes(10, 3));
        }
}

TEST(WmPackets, SinglePayloadLayouts) {
    struct Case {
        const char* name;
        bool errorCorrection;
        int packetLengthType;
        uint32_t explicitLength;
    };
    const Case cases[] = {{"error correction, implicit length", true, 0, 0},
                          {"no error correction", false, 0, 0},
                          {"stated length shorter than the packet", true, 2, 200},
                          {"stated 32-bit length", false, 3, kPacket}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PacketLayout p;
        p.multiple = false;
        p.errorCorrection = c.errorCorrection;
        p.packetLengthType = c.packetLengthType;
        p.explicitLength = c.explicitLength;
        p.payloads = {{1, true, 5, 0, Replicated(40, 1500), Bytes(40, 9)}};
        Read r = ReadAll(BuildFile({AudioStream(1)}, {BuildPacket(p)}));
        ASSERT_EQ(r.hr, asf::kOk);
        ASSERT_EQ(r.samples.size(), 1u);
        EXPECT_EQ(r.samples[0].time, 5000000u);
        EXPECT_EQ(r.samples[0].bytes, Bytes(40, 9));
    }
}

TEST(WmPackets, CompressedPayloadGivesOneSamplePerSubPayload) {
    PacketLayout p;
    std::vector<uint8_t> data;
    for (int k = 0; k < 3; ++k) {
        data.push_back(uint8_t(5 + k));
        auto b = Bytes(5 + k, uint8_t(k * 40));
        data.insert(data.end(), b.begin(), b.end());
    }
    p.payloads = {{1, true, 7, 2000, {25}, data},  // time 2000 ms, 25 ms apart
                  {1, false, 10, 0, Replicated(12, 2100), Bytes(12, 99)}};
    Read r = ReadAll(BuildFile({AudioStream(1)}, {BuildPacket(p)}));
    ASSERT_EQ(r.hr, asf::kOk);
    ASSERT_EQ(r.samples.size(), 4u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(r.samples[k].time, uint64_t(1000 + 25 * k) * 10000);
        EXPECT_EQ(r.samples[k].bytes, Bytes(5 + k, uint8_t(k * 40)));
    }
    EXPECT_EQ(r.samples[3].bytes, Bytes(12, 99));
}

TEST(WmPackets, PayloadExtensionDataGivesTheDuration) {
    AsfStreamConfig s = AudioStream(1);
    s.hasExtended = true;
    s.payloadExtensions = {{Guid{0x12345678, 1, 2, {}}, 0xFFFF, {}},  // variable size, skipped
                           {asfguid::kPayloadExtSampleDuration, 2, {}}};
    PacketLayout p;
    std::vector<uint8_t> ext = {3, 0, 0xAA, 0xBB, 0xCC, 40, 0};  // 3 bytes of the first system, then 40 ms
    p.payloads = {{1, true, 0, 0, Replicated(16, 1000, ext), Bytes(16, 4)}};
    Read r = ReadAll(BuildFile({s}, {BuildPacket(p)}));
    ASSERT_EQ(r.hr, asf::kOk);
    ASSERT_EQ(r.samples.size(), 1u);
    EXPECT_EQ(r.samples[0].duration, 400000u);
    EXPECT_EQ(r.samples[0].bytes, Bytes(16, 4));
}

TEST(WmPackets, MediaObjectSplitAcrossPacketsIsReassembled) {
    const auto whole = Bytes(600, 17);
    std::vector<std::vector<uint8_t>> packets;
    uint32_t off = 0;
    while (off < whole.size()) {
        uint32_t n = std::min<uint32_t>(200, uint32_t(whole.size()) - off);
        PacketLayout p;
        p.multiple = false;
        p.payloads = {{1, true, 3, off, Replicated(600, 1200),
                       std::vector<uint8_t>(whole.begin() + off, whole.begin() + off + n)}};
        packets.push_back(BuildPacket(p));
        off += n;
    }
    Read r = ReadAll(BuildFile({AudioStream(1)}, packets));
    ASSERT_EQ(r.hr, asf::kOk);
    ASSERT_EQ(r.samples.size(), 1u);
    EXPECT_EQ(r.samples[0].bytes, whole);
    EXPECT_EQ(r.samples[0].time, 2000000u);

    // Without its middle packet the object is dropped, and the stream's next
    // sample says that data was lost.
    PacketLayout next;
    next.payloads = {{1, false, 4, 0, Replicated(8, 1300), Bytes(8, 1)}};
    Read lost = ReadAll(BuildFile({AudioStream(1)}, {packets[0], packets[2], BuildPacket(next)}));
    ASSERT_EQ(lost.hr, asf::kOk);
    ASSERT_EQ(lost.samples.size(), 1u);
    EXPECT_EQ(lost.samples[0].bytes, Bytes(8, 1));
    EXPECT_EQ(lost.samples[0].flags & kSampleDataLoss, kSampleDataLoss);

    // An object spread thin over several of the reader's blocks of packets
    // (a byte a packet, beside another stream's whole objects) comes whole:
    // it is gathered by copy once it would hold more blocks than it needs.
    const auto thin = Bytes(6000, 3);
    std::vector<std::vector<uint8_t>> many;
    for (uint32_t i = 0; i < thin.size(); ++i) {
        PacketLayout p;
        p.payloads = {{1, true, 5, i, Replicated(uint32_t(thin.size()), 1200), {thin[i]}},
                      {2, false, i & 0xFF, 0, Replicated(100, 1200 + i), Bytes(100, uint8_t(i))}};
        many.push_back(BuildPacket(p));
    }
    Read spread = ReadAll(BuildFile({AudioStream(1), AudioStream(2)}, many));
    ASSERT_EQ(spread.hr, asf::kOk);
    ASSERT_EQ(spread.samples.size(), thin.size() + 1);
    size_t others = 0;
    for (const auto& s : spread.samples) {
        if (s.stream == 1) {
            EXPECT_EQ(s.bytes, thin);
        } else {
            EXPECT_EQ(s.bytes, Bytes(100, uint8_t(others))) << others;
            ++others;
        }
    }
}

TEST(WmPackets, SpreadAudioIsPutBackInOrderAndWrittenUnspread) {
    AsfStreamConfig s = AudioStream(1);
    s.errorCorrectionType = asfguid::kAudioSpread;
    s.errorCorrectionData = {2, 4, 0, 2,
                             0, 1, 0, 0};  // span 2, virtual packet 4, chunk 2, one byte of silence
    PacketLayout p;
    p.payloads = {{1, true, 0, 0, Replicated(8, 1000), {'A', 'a', 'B', 'b', 'C', 'c', 'D', 'd'}}};
    Read r = ReadAll(BuildFile({s}, {BuildPacket(p)}));
    ASSERT_EQ(r.hr, asf::kOk);
    ASSERT_EQ(r.samples.size(), 1u);
    const std::vector<uint8_t> ordered = {'A', 'a', 'C', 'c', 'B', 'b', 'D', 'd'};
    EXPECT_EQ(r.samples[0].bytes, ordered);

    // The writer stores samples as it gets them, so its file says "span 1".
    AsfProfile profile;
    ASSERT_EQ(profile.AddStream(s), asf::kOk);
    AsfWriter w;
    ASSERT_EQ(w.SetProfile(profile), asf::kOk);
    ASSERT_EQ(w.SetOutput(std::make_unique<MemoryIO>()), asf::kOk);
    ASSERT_EQ(w.BeginWriting(), asf::kOk);
    ASSERT_EQ(w.WriteStreamSample(1, 0, 0, kSampleCleanPoint, ordered), asf::kOk);
    ASSERT_EQ(w.EndWriting(), asf::kOk);
    AsfReader back;
    ASSERT_EQ(back.Open(w.TakeOutput()), asf::kOk);
    EXPECT_EQ(back.Header().profile.GetStream(0)->SpreadSpan(), 1);
    SinkAll sink;
    ASSERT_EQ(back.Run(sink), asf::kOk);
    ASSERT_EQ(sink.samples.size(), 1u);
    EXPECT_EQ(sink.samples[0].bytes, ordered);
}

TEST(WmPackets, StreamsDeclaredInsideTheHeaderExtension) {
    AsfStreamConfig s = AudioStream(3);
    s.hasExtended = true;
    s.bitrate = 32000;
    s.bufferWindow = 2500;
    s.avgTimePerFrame = 400000;
    s.names = {{0, u"", u"Main audio"}};
    PacketLayout p;
    p.payloads = {{3, true, 0, 0, Replicated(6, 1000), Bytes(6, 3)}};
    AsfReader r;
    ASSERT_EQ(r.Open(std::make_unique<MemoryIO>(BuildFile({s}, {BuildPacket(p)}, 50000000, true))), asf::kOk);
    ASSERT_EQ(r.Profile()->GetStreamCount(), 1u);
    const AsfStreamConfig& got = *r.Profile()->GetStream(0);
    EXPECT_EQ(got.StreamNumber(), 3);
    EXPECT_EQ(got.MajorType(), kMediaTypeAudio);
    EXPECT_EQ(got.Bitrate(), 32000u);
    EXPECT_EQ(got.BufferWindow(), 2500u);
    EXPECT_EQ(got.avgTimePerFrame, 400000u);
    ASSERT_EQ(got.names.size(), 1u);
    EXPECT_EQ(got.names[0].name, u"Main audio");
    SinkAll sink;
    ASSERT_EQ(r.Run(sink), asf::kOk);
    ASSERT_EQ(sink.samples.size(), 1u);
    EXPECT_EQ(sink.samples[0].stream, 3);
}

TEST(WmPackets, PayloadsOfUnknownStreamsAreSkipped) {
    PacketLayout p;
    p.payloads = {{9, false, 0, 0, Replicated(4, 1000), Bytes(4, 0)},
                  {1, false, 0, 0, Replicated(4, 1000), Bytes(4, 1)}};
    Read r = ReadAll(BuildFile({AudioStream(1)}, {BuildPacket(p)}));
    ASSERT_EQ(r.hr, asf::kOk);
    ASSERT_EQ(r.samples.size(), 1u);
    EXPECT_EQ(r.samples[0].stream, 1);
}

// The packet a run may begin at for a time: found by send time when the
// packets allow it, else the first packet. Four packets of one audio object
// each; the reader's margin before a time is its preroll, its buffer window
// and 3 s (5 s here), so 30 s looks for the last packet sent by 25 s.
TEST(WmPackets, PacketBeforeATimeOrTheFirstWhenTheSendTimesCannotBeTrusted) {
    struct Case {
        const char* name;
        std::array<uint32_t, 4> sendMs;
        std::array<uint32_t, 4> presentedMs;  // preroll included
        int damaged;                          // the packet made unreadable (-1: none)
        uint64_t timeMs;
        uint64_t packet;
    };
    const Case cases[] = {
        {"in order", {0, 10000, 20000, 30000}, {1000, 11000, 21000, 31000}, -1, 30000, 2},
        {"in order, earlier", {0, 10000, 20000, 30000}, {1000, 11000, 21000, 31000}, -1, 16000, 1},
        {"within the margin", {0, 10000, 20000, 30000}, {1000, 11000, 21000, 31000}, -1, 5000, 0},
        {"past the end", {0, 10000, 20000, 30000}, {1000, 11000, 21000, 31000}, -1, 90000, 3},
        {"a send time goes back", {0, 20000, 10000, 30000}, {1000, 21000, 11000, 31000}, -1, 30000, 0},
        {"presented long after it is sent", {0, 0, 0, 0}, {1000, 11000, 21000, 31000}, -1, 30000, 0},
        {"a damaged packet on the way", {0, 10000, 20000, 30000}, {1000, 11000, 21000, 31000}, 1, 30000, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<uint8_t>> packets;
        for (size_t i = 0; i < 4; ++i) {
            PacketLayout p;
            p.sendTime = c.sendMs[i];
            p.payloads = {{1, true, uint32_t(i), 0, Replicated(20, c.presentedMs[i]), Bytes(20, uint8_t(i))}};
            packets.push_back(BuildPacket(p));
            if (int(i) == c.damaged) packets.back()[4] = 0;  // no stream number field
        }
        AsfReader r;
        ASSERT_EQ(r.Open(std::make_unique<MemoryIO>(BuildFile({AudioStream(1)}, packets))), asf::kOk);
        EXPECT_EQ(r.PacketBefore(c.timeMs * 10000), c.packet);
    }
}

TEST(WmPackets, FieldsThatDoNotFitTheirPacketAreRejected) {
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    PacketLayout layout;
    layout.payloads = {{1, false, 0, 0, Replicated(20, 1000), Bytes(20, 1)}};
    const std::vector<uint8_t> good = BuildPacket(layout);
    // Layout: 82 00 00 | 11 5D | padding(2) | send(4) dur(2) | payload flags | stream obj off(4) rep(1) ...
    const Case cases[] = {
        {"padding longer than the packet", [](auto& p) { PutU16LE(&p[5], 0xFFFF); }},
        {"payload length past the end", [](auto& p) { PutU16LE(&p[14 + 7 + 8], 0xF000); }},
        {"replicated data past the end", [](auto& p) { p[14 + 6] = 0xFF; }},
        {"replicated data too short for size and time", [](auto& p) { p[14 + 6] = 4; }},
        {"no stream number field", [](auto& p) { p[4] &= 0x3F; }},
        {"error correction length type set", [](auto& p) { p[0] = 0xA2; }},
        {"zero payloads", [](auto& p) { p[13] = 0x80; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = good;
        c.damage(p);
        AsfPacketInfo info;
        EXPECT_EQ(ParseAsfPacket(p, info, [](const AsfPayload&) {}), asf::kInvalidData);
        Read r = ReadAll(BuildFile({AudioStream(1)}, {p}));
        EXPECT_EQ(r.hr, asf::kInvalidData);
    }
    AsfPacketInfo info;
    EXPECT_EQ(ParseAsfPacket(good, info, [](const AsfPayload&) {}), asf::kOk);
}

// ---- the reader's range and callback contract, on a file with samples every second ----

class WmRange : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<std::vector<uint8_t>> packets;
        for (uint32_t k = 0; k < 4; ++k) {
            PacketLayout p;
            p.payloads = {
                {1, true, k, 0, Replicated(10, uint32_t(kPreroll + 1000 * k)), Bytes(10, uint8_t(k))}};
            packets.push_back(BuildPacket(p));
        }
        path_ = dir_ / "range.wma";
        WriteFile(path_, BuildFile({AudioStream(1)}, packets));
    }
    // Times (ms) the callback sees for a range.
    std::vector<uint64_t> Times(uint64_t startMs, uint64_t endMs, int* code = nullptr,
                                Collector* c = nullptr) {
        Collector local;
        if (!c) c = &local;
        CDecCompWMV reader;
        EXPECT_EQ(reader.Open(path_.string(), startMs * 10000, endMs == ~0ull ? endMs : endMs * 10000), kOk);
        reader.SetSampleCallback(&Collector::Callback, c);
        int rc = reader.Run();
        if (code) *code = rc;
        return c->TimesMs(1);
    }
    TempDir dir_;
    std::filesystem::path path_;
};

TEST_F(WmRange, RangesAndTheirEnds) {
    struct Case {
        uint64_t start, end;
        std::vector<uint64_t> want;
    };
    const Case cases[] = {
        {0, ~0ull, {0, 1000, 2000, 3000}},
        {0, 0, {0, 1000, 2000, 3000}},  // end 0: no end
        {1000, 0, {0, 1000, 2000}},     // start only, times shifted
        {1000, 2000, {0, 1000}},        // samples exactly at both ends are passed on
        {1500, 1700, {}},               // nothing inside
        {2000, 1000, {}},               // end before start
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + ".." + std::to_string(c.end));
        int code = -1;
        EXPECT_EQ(Times(c.start, c.end, &code), c.want);
        EXPECT_EQ(code, kOk);
    }
}

TEST_F(WmRange, CallbackResultEndsTheRun) {
    struct Case {
        AsfResult answer;
        int code;
    };
    for (const Case& c : {Case{asf::kFalse, kOk}, Case{asf::kFail, kErrWmProcess}}) {
        Collector col;
        col.answer = c.answer;
        col.answerAfter = 2;
        int code = -1;
        EXPECT_EQ(Times(0, ~0ull, &code, &col).size(), 2u);
        EXPECT_EQ(code, c.code);
    }
}

TEST_F(WmRange, RunNeedsAnOpenFileAndHappensOncePerOpen) {
    CDecCompWMV reader;
    EXPECT_EQ(reader.Run(), kErrWmProcess);
    ASSERT_EQ(reader.Open(path_.string(), 0, ~0ull), kOk);
    EXPECT_EQ(reader.Run(), kOk);
    EXPECT_EQ(reader.GetDuration(), 50000000u - kPreroll * 10000);  // still known after the run
    EXPECT_EQ(reader.StreamCount(), 1u);
    EXPECT_EQ(reader.Run(), kErrWmProcess);
    reader.Close();
    EXPECT_EQ(reader.StreamCount(), 0u);
    reader.Close();
}

TEST(WmRangeEnd, InterleavedSamplesInsideTheRangeAreNotLost) {
    // In file order: stream 1 at 1.0 s, stream 2 at 2.1 s, stream 1 at 1.99 s,
    // then stream 1 far past the end.
    std::vector<std::vector<uint8_t>> packets;
    const std::pair<uint8_t, uint32_t> order[] = {{1, 1000}, {2, 2100}, {1, 1990}, {1, 4000}, {2, 1995}};
    uint32_t object = 0;
    for (auto [stream, ms] : order) {
        PacketLayout p;
        p.payloads = {
            {stream, true, object++, 0, Replicated(6, uint32_t(kPreroll + ms)), Bytes(6, uint8_t(ms))}};
        packets.push_back(BuildPacket(p));
    }
    TempDir dir;
    WriteFile(dir / "i.wma", BuildFile({AudioStream(1), AudioStream(2)}, packets));
    CDecCompWMV reader;
    ASSERT_EQ(reader.Open((dir / "i.wma").string(), 0, 20000000), kOk);
    Collector c;
    reader.SetSampleCallback(&Collector::Callback, &c);
    ASSERT_EQ(reader.Run(), kOk);
    EXPECT_EQ(c.TimesMs(1), (std::vector<uint64_t>{1000, 1990}));
    EXPECT_TRUE(c.TimesMs(2).empty());  // 1995 comes after a sample a preroll past the end
}

TEST(WmOpen, FilesWithoutADurationDoNotOpen) {
    TempDir dir;
    PacketLayout p;
    p.payloads = {{1, true, 0, 0, Replicated(4, 1000), Bytes(4, 0)}};
    for (uint64_t play : {uint64_t(0), kPreroll * 10000}) {
        WriteFile(dir / "d.wma", BuildFile({AudioStream(1)}, {BuildPacket(p)}, play));
        CDecCompWMV reader;
        EXPECT_EQ(reader.Open((dir / "d.wma").string(), 0, ~0ull), kErrWmOpen);
    }
    CDecCompWMV reader;
    EXPECT_EQ(reader.Open((dir / "missing.wma").string(), 0, ~0ull), kErrWmOpen);
}

// A live capture (broadcast flag): no play duration, and a data object whose
// size and packet count were written before the packets (here: its header
// only, no count). The packets run to the end of the file and tell the duration.
TEST(WmOpen, LiveCaptureTakesItsDurationFromThePackets) {
    TempDir dir;
    std::vector<std::vector<uint8_t>> packets;
    for (uint32_t k = 0; k < 5; ++k) {
        PacketLayout p;
        p.payloads = {{1, true, k, 0, Replicated(4, uint32_t(kPreroll) + 400 * k), Bytes(4, uint8_t(k))}};
        packets.push_back(BuildPacket(p));
    }
    auto file = BuildFile({AudioStream(1)}, packets, 0);
    const size_t flagsAt = 30 + 24 + 16 + 6 * 8;  // the file properties' flags
    PutU32LE(&file[flagsAt], kFilePropBroadcast);
    const uint64_t dataAt = GetU64LE(&file[16]);
    PutU64LE(&file[dataAt + 16], 50);
    PutU64LE(&file[dataAt + 40], 0);
    WriteFile(dir / "live.wma", file);

    CDecCompWMV reader;
    ASSERT_EQ(reader.Open((dir / "live.wma").string(), 0, ~0ull), kOk);
    EXPECT_EQ(reader.GetDuration(), 1600u * 10000);  // the last presentation time
    Collector c;
    reader.SetSampleCallback(&Collector::Callback, &c);
    ASSERT_EQ(reader.Run(), kOk);
    EXPECT_EQ(c.TimesMs(1), (std::vector<uint64_t>{0, 400, 800, 1200, 1600}));
}

// ---- damaged files: an error code, never a crash or a hang ----

int OpenAndRun(const std::filesystem::path& path) {
    CDecCompWMV reader;
    Collector c;
    int code = reader.Open(path.string(), 0, ~0ull);
    if (code) return code;
    reader.SetSampleCallback(&Collector::Callback, &c);
    return reader.Run();
}

TEST(WmDamaged, EmptyRandomAndTruncatedFiles) {
    TempDir dir;
    const auto p = dir / "bad.wmv";
    WriteFile(p, {});
    EXPECT_EQ(OpenAndRun(p), kErrWmOpen);
    std::mt19937 rng(7);
    std::vector<uint8_t> noise(5000);
    for (auto& b : noise) b = uint8_t(rng());
    WriteFile(p, noise);
    EXPECT_EQ(OpenAndRun(p), kErrWmOpen);

    const auto good = ReadFile(WmFixture(0));
    AsfReader r;
    ASSERT_EQ(r.Open(WmFixture(0).string()), asf::kOk);
    const uint64_t headerEnd = r.Header().firstPacketOffset;
    const uint64_t dataEnd = r.Header().dataObjectOffset + r.Header().dataObjectSize;
    const uint32_t packetSize = r.Header().PacketSize();
    // Cut inside the header: nothing to read.
    for (size_t cut : {size_t(10), size_t(100), size_t(headerEnd - 1)}) {
        WriteFile(p, std::vector<uint8_t>(good.begin(), good.begin() + cut));
        EXPECT_EQ(OpenAndRun(p), kErrWmOpen) << "cut at " << cut;
    }
    // Cut inside the data (a broken download): every whole object of the
    // whole packets is delivered, and the run ends there without error.
    Collector all;
    {
        CDecCompWMV reader;
        ASSERT_EQ(reader.Open(WmFixture(0).string(), 0, ~0ull), kOk);
        reader.SetSampleCallback(&Collector::Callback, &all);
        ASSERT_EQ(reader.Run(), kOk);
    }
    for (size_t cut : {size_t(headerEnd + 100), good.size() / 2, size_t(dataEnd - 1)}) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        WriteFile(p, std::vector<uint8_t>(good.begin(), good.begin() + cut));
        CDecCompWMV reader;
        Collector c;
        ASSERT_EQ(reader.Open(p.string(), 0, ~0ull), kOk);
        EXPECT_TRUE(reader.Truncated());
        reader.SetSampleCallback(&Collector::Callback, &c);
        EXPECT_EQ(reader.Run(), kOk);
        ASSERT_LE(c.samples.size(), all.samples.size());
        for (size_t i = 0; i < c.samples.size(); ++i) {
            EXPECT_EQ(c.samples[i].stream, all.samples[i].stream) << i;
            EXPECT_EQ(c.samples[i].time, all.samples[i].time) << i;
            EXPECT_EQ(c.samples[i].bytes, all.samples[i].bytes) << i;
        }
        // Nothing of the whole packets is lost: at most the objects the cut packet completes.
        const size_t wholePackets = (cut - headerEnd) / packetSize;
        size_t expected = 0;
        {
            WriteFile(dir / "whole.wmv",
                      std::vector<uint8_t>(good.begin(),
                                           good.begin() + ptrdiff_t(headerEnd + wholePackets * packetSize)));
            CDecCompWMV whole;
            Collector w;
            ASSERT_EQ(whole.Open((dir / "whole.wmv").string(), 0, ~0ull), kOk);
            whole.SetSampleCallback(&Collector::Callback, &w);
            ASSERT_EQ(whole.Run(), kOk);
            expected = w.samples.size();
        }
        EXPECT_EQ(c.samples.size(), expected);
        EXPECT_LT(c.samples.size(), all.samples.size());
    }
    // Losing only the index after the data loses no sample.
    ASSERT_LT(dataEnd, good.size());
    WriteFile(p, std::vector<uint8_t>(good.begin(), good.end() - 1));
    EXPECT_EQ(OpenAndRun(p), kOk);
}

TEST(WmDamaged, LyingSizesAndFlippedBytes) {
    TempDir dir;
    const auto p = dir / "bad.wmv";
    const auto good = ReadFile(WmFixture(0));
    AsfReader r;
    ASSERT_EQ(r.Open(WmFixture(0).string()), asf::kOk);
    const size_t headerEnd = size_t(r.Header().firstPacketOffset);

    // Every 64-bit object size in the header set to a lie.
    for (size_t pos = 16; pos + 8 <= headerEnd; ++pos) {
        bool isSize = false;
        for (const Guid& g : {asfguid::kHeader, asfguid::kFileProperties, asfguid::kStreamProperties,
                              asfguid::kHeaderExtension, asfguid::kCodecList, asfguid::kContentDescription,
                              asfguid::kExtendedContentDescription, asfguid::kData})
            if (Guid::FromBytes(&good[pos - 16]) == g) isSize = true;
        if (!isSize) continue;
        for (uint64_t lie : {uint64_t(0), uint64_t(23), uint64_t(1) << 40, ~uint64_t(0)}) {
            auto bad = good;
            PutU64LE(&bad[pos], lie);
            WriteFile(p, bad);
            int code = OpenAndRun(p);
            EXPECT_TRUE(code == kOk || code == kErrWmOpen || code == kErrWmProcess) << pos << " " << code;
        }
    }
    // Random bytes flipped anywhere.
    std::mt19937 rng(11);
    for (int i = 0; i < 150; ++i) {
        auto bad = good;
        for (int k = 0; k < 4; ++k) bad[rng() % (i % 2 ? headerEnd : bad.size())] ^= uint8_t(1 + rng() % 255);
        WriteFile(p, bad);
        int code = OpenAndRun(p);
        EXPECT_TRUE(code == kOk || code == kErrWmOpen || code == kErrWmProcess) << code;
    }
}

}  // namespace
}  // namespace vt::test
