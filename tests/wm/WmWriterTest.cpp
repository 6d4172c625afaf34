// The writer on its own: time offsets, call order, header information rules
// and round trips, packetisation, ordering of samples, buffer windows.
#include <gtest/gtest.h>

#include <map>

#include "core/ErrorCodes.h"
#include "platform/AsfReader.h"
#include "platform/Bytes.h"
#include "tests/wm/WmTestSupport.h"

namespace vt::test {
namespace {

AsfStreamConfig Audio(uint16_t number, uint32_t window = 1000, uint32_t avgBytes = 4000) {
    AsfStreamConfig s;
    s.streamNumber = number;
    s.streamType = asfguid::kAudioMedia;
    s.typeSpecific.assign(18, 0);
    PutU16LE(&s.typeSpecific[0], 0x161);
    PutU16LE(&s.typeSpecific[2], 1);
    PutU32LE(&s.typeSpecific[4], 22050);
    PutU32LE(&s.typeSpecific[8], avgBytes);
    PutU16LE(&s.typeSpecific[12], 128);
    s.bufferWindow = window;
    s.bitrate = avgBytes * 8;
    return s;
}

AsfStreamConfig Video(uint16_t number, uint32_t window = 1000, uint32_t bitrate = 100000) {
    AsfStreamConfig s;
    s.streamNumber = number;
    s.streamType = asfguid::kVideoMedia;
    s.typeSpecific.assign(11 + 40, 0);
    PutU32LE(&s.typeSpecific[0], 64);
    PutU32LE(&s.typeSpecific[4], 48);
    PutU16LE(&s.typeSpecific[9], 40);
    PutU32LE(&s.typeSpecific[11], 40);
    PutU32LE(&s.typeSpecific[11 + 4], 64);
    PutU32LE(&s.typeSpecific[11 + 8], 48);
    PutU32LE(&s.typeSpecific[11 + 16], MakeFourCC('W', 'M', 'V', '2'));
    s.bufferWindow = window;
    s.bitrate = bitrate;
    return s;
}

AsfProfile ProfileOf(const std::vector<AsfStreamConfig>& streams) {
    AsfProfile p;
    for (const auto& s : streams) EXPECT_EQ(p.AddStream(s), asf::kOk);
    return p;
}

struct SinkAll : IAsfSampleSink {
    std::vector<Sample> samples;
    AsfResult OnStreamSample(uint16_t s, uint64_t t, uint64_t d, uint32_t f,
                             const AsfSampleBuffer& b) override {
        samples.push_back({s, t, d, f, b.ToVector()});
        return asf::kOk;
    }
};

std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed * 31 + i);
    return v;
}

TEST(WmWriter, TimeOffsetAddsTheExactDuration) {
    TempDir dir;
    CEncCompWMV w;
    w.AddTimeOffset(5000000);  // before StartWriting: dropped by it
    AsfProfile p = ProfileOf({Audio(1)});
    ASSERT_EQ(w.Open((dir / "o.wma").string(), &p), kOk);
    ASSERT_EQ(w.StartWriting(), kOk);
    EXPECT_EQ(w.TimeOffset(), 0u);
    w.AddTimeOffset(107000000);  // 10.7 s
    EXPECT_EQ(w.TimeOffset(), 107000000u);
    w.AddTimeOffset(3);  // below one second, to the 100 ns
    EXPECT_EQ(w.TimeOffset(), 107000003u);
    AsfSampleBuffer b(Bytes(10, 1));
    ASSERT_EQ(w.WriteSample(1, 0, 0, kSampleCleanPoint, &b), asf::kOk);
    ASSERT_EQ(w.Finish(), asf::kOk);
    AsfReader r;
    ASSERT_EQ(r.Open((dir / "o.wma").string()), asf::kOk);
    SinkAll sink;
    ASSERT_EQ(r.Run(sink), asf::kOk);
    ASSERT_EQ(sink.samples.size(), 1u);
    EXPECT_EQ(sink.samples[0].time, 107000000u);  // files carry milliseconds
}

TEST(WmWriter, CallOrderAndFailures) {
    TempDir dir;
    CEncCompWMV w;
    EXPECT_EQ(w.Finish(), asf::kOk);  // no writer: nothing happens
    EXPECT_EQ(w.Finish(), asf::kOk);
    EXPECT_EQ(w.GetHeaderInfo(), nullptr);
    AsfSampleBuffer b(Bytes(4, 0));
    EXPECT_LT(w.WriteSample(1, 0, 0, 0, &b), 0);
    EXPECT_EQ(w.StartWriting(), kErrWmEncInit);
    EXPECT_EQ(w.Open((dir / "o.wmv").string(), nullptr), kErrWmOutput);
    AsfProfile empty;
    EXPECT_EQ(w.Open((dir / "o.wmv").string(), &empty), kErrWmOutput);
    EXPECT_EQ(w.Finish(), asf::kOk);
    AsfProfile p = ProfileOf({Audio(1)});
    EXPECT_EQ(w.Open("", &p), kErrWmOutput);
    w.Finish();
    // A folder that does not exist: the file cannot be created when writing begins.
    ASSERT_EQ(w.Open((dir / "no" / "such" / "o.wmv").string(), &p), kOk);
    EXPECT_EQ(w.StartWriting(), kErrWmEncInit);
    w.Finish();
    // Open and Finish without StartWriting leaves no file behind.
    ASSERT_EQ(w.Open((dir / "never.wmv").string(), &p), kOk);
    EXPECT_EQ(w.Finish(), asf::kOk);
    EXPECT_FALSE(std::filesystem::exists(dir / "never.wmv"));
    // A stream the profile does not have is refused.
    ASSERT_EQ(w.Open((dir / "o.wmv").string(), &p), kOk);
    ASSERT_EQ(w.StartWriting(), kOk);
    EXPECT_LT(w.WriteSample(2, 0, 0, 0, &b), 0);
    EXPECT_LT(w.WriteSample(1, 0, 0, 0, nullptr), 0);
    EXPECT_EQ(w.WriteSample(1, 0, 0, 0, &b), asf::kOk);
    EXPECT_EQ(w.Finish(), asf::kOk);
}

TEST(WmWriter, DestinationRefusesWhatItCannotWrite) {
    TempDir dir;
    CEncCompWMV w;
    AsfProfile p = ProfileOf({Audio(1), Video(2)});
    ASSERT_EQ(w.Open((dir / "o.wmv").string(), &p), kOk);
    AsfHeaderInfo& h = *w.GetHeaderInfo();
    const std::vector<uint8_t> q(8, 1), d(4, 1), text = Utf16Value(u"x");
    struct Case {
        const char* what;
        uint16_t stream;
        const char16_t* name;
        AsfAttrType type;
        const std::vector<uint8_t>* value;
        AsfResult want;
    };
    const Case cases[] = {
        {"computed by the writer", 0, u"Duration", AsfAttrType::Qword, &q, asf::kInvalidArg},
        {"computed by the writer", 0, u"Bitrate", AsfAttrType::Dword, &d, asf::kInvalidArg},
        {"computed by the writer", 0, u"Seekable", AsfAttrType::Bool, &d, asf::kInvalidArg},
        {"no such stream", 5, u"Custom", AsfAttrType::String, &text, asf::kInvalidArg},
        {"wrong size for the type", 0, u"Custom", AsfAttrType::Word, &q, asf::kInvalidArg},
        {"empty name", 0, u"", AsfAttrType::String, &text, asf::kInvalidArg},
        {"title must be text", 0, u"Title", AsfAttrType::Dword, &d, asf::kInvalidArg},
        {"file attribute", 0, u"Custom", AsfAttrType::String, &text, asf::kOk},
        {"stream attribute", 2, u"Custom", AsfAttrType::Dword, &d, asf::kOk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(h.SetAttribute(c.stream, c.name, c.type, *c.value), c.want);
    }
    w.Finish();
}

TEST(WmWriter, HeaderInformationRoundTrips) {
    TempDir dir;
    const auto path = dir / "h.wmv";
    CEncCompWMV w;
    w.SetDeterministicOutput(true);
    AsfProfile p = ProfileOf({Video(1), Audio(2)});
    ASSERT_EQ(w.Open(path.string(), &p), kOk);
    AsfHeaderInfo& h = *w.GetHeaderInfo();
    std::vector<uint8_t> dword(4), qword(8), word(2), guid(16), boolean(4), binary = {1, 2, 3, 0, 5};
    PutU32LE(dword.data(), 0xDEADBEEF);
    PutU64LE(qword.data(), 0x0123456789ABCDEFull);
    PutU16LE(word.data(), 0xBEEF);
    for (size_t i = 0; i < 16; ++i) guid[i] = uint8_t(i);
    PutU32LE(boolean.data(), 1);
    struct Attr {
        uint16_t stream;
        const char16_t* name;
        AsfAttrType type;
        std::vector<uint8_t> value;
    };
    const std::vector<Attr> attrs = {
        {0, u"Title", AsfAttrType::String, Utf16Value(u"A title")},
        {0, u"Author", AsfAttrType::String, Utf16Value(u"Someone \u00e9")},
        {0, u"Copyright", AsfAttrType::String, Utf16Value(u"(c)")},
        {0, u"WM/AlbumTitle", AsfAttrType::String, Utf16Value(u"Album")},
        {0, u"Dword", AsfAttrType::Dword, dword},
        {0, u"Qword", AsfAttrType::Qword, qword},
        {0, u"Word", AsfAttrType::Word, word},
        {0, u"Bool", AsfAttrType::Bool, boolean},
        {0, u"Binary", AsfAttrType::Binary, binary},
        {0, u"Guid", AsfAttrType::Guid, guid},
        {1, u"StreamText", AsfAttrType::String, Utf16Value(u"video")},
        {2, u"StreamBool", AsfAttrType::Bool, boolean},
        {2, u"StreamGuid", AsfAttrType::Guid, guid},
    };
    for (const auto& a : attrs) ASSERT_EQ(h.SetAttribute(a.stream, a.name, a.type, a.value), asf::kOk);
    ASSERT_EQ(h.AddCodecInfo({AsfCodecType::Video, u"Video codec", u"desc", {1, 2}}), asf::kOk);
    ASSERT_EQ(h.AddCodecInfo({AsfCodecType::Audio, u"Audio codec", u"", {}}), asf::kOk);
    ASSERT_EQ(h.AddScript(u"URL", u"http://example.com", 12340000), asf::kOk);
    ASSERT_EQ(h.AddScript(u"TEXT", u"hello", 50000000), asf::kOk);
    ASSERT_EQ(w.StartWriting(), kOk);
    AsfSampleBuffer b(Bytes(10, 1));
    ASSERT_EQ(w.WriteSample(2, 0, 460000, kSampleCleanPoint, &b),
              asf::kOk);  // a file without samples has no duration
    ASSERT_EQ(w.Finish(), asf::kOk);

    CDecCompWMV reader;
    ASSERT_EQ(reader.Open(path.string(), 0, ~0ull), kOk);
    AsfHeaderInfo copy;
    ASSERT_EQ(reader.CopyHeader(&copy), kOk);
    for (const auto& a : attrs) {
        SCOPED_TRACE(Utf16ToUtf8(a.name));
        const AsfAttribute* got = copy.GetAttributeByName(a.stream, a.name);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(got->type, a.type);
        EXPECT_EQ(got->value, a.value);
    }
    ASSERT_EQ(copy.GetCodecInfoCount(), 2u);
    EXPECT_EQ(copy.GetCodecInfo(0)->name, u"Video codec");
    EXPECT_EQ(copy.GetCodecInfo(0)->info, (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(copy.GetCodecInfo(1)->type, AsfCodecType::Audio);
    ASSERT_EQ(copy.GetScriptCount(), 2u);
    EXPECT_EQ(copy.GetScript(0)->command, u"http://example.com");
    EXPECT_EQ(copy.GetScript(0)->time, 12340000u);
    EXPECT_EQ(copy.GetScript(1)->type, u"TEXT");

    // Codec descriptions of one kind only.
    AsfHeaderInfo audioOnly;
    ASSERT_EQ(reader.CopyCodecInfo(&audioOnly, kMediaTypeAudio), asf::kOk);
    ASSERT_EQ(audioOnly.GetCodecInfoCount(), 1u);
    EXPECT_EQ(audioOnly.GetCodecInfo(0)->name, u"Audio codec");

    // Into another writer, the attributes it computes itself are skipped without failing.
    CEncCompWMV w2;
    ASSERT_EQ(w2.Open((dir / "h2.wmv").string(), reader.GetProfile().get()), kOk);
    EXPECT_EQ(reader.CopyHeader(w2.GetHeaderInfo()), kOk);
    EXPECT_EQ(w2.GetHeaderInfo()->GetAttributeByName(0, u"Duration"), nullptr);
    EXPECT_NE(w2.GetHeaderInfo()->GetAttributeByName(0, u"Title"), nullptr);
    w2.Finish();
}

// Writes samples through an AsfWriter into memory and reads them back.
std::vector<Sample> RoundTrip(const AsfProfile& p, const std::vector<Sample>& in, uint32_t packetSize,
                              AsfHeader* header = nullptr) {
    AsfWriter w;
    EXPECT_EQ(w.SetProfile(p), asf::kOk);
    EXPECT_EQ(w.SetPacketSize(packetSize), asf::kOk);
    EXPECT_EQ(w.SetOutput(std::make_unique<MemoryIO>()), asf::kOk);
    EXPECT_EQ(w.BeginWriting(), asf::kOk);
    for (const auto& s : in)
        EXPECT_EQ(w.WriteStreamSample(s.stream, s.time, s.duration, s.flags, s.bytes), asf::kOk);
    EXPECT_EQ(w.EndWriting(), asf::kOk);
    AsfReader r;
    EXPECT_EQ(r.Open(w.TakeOutput()), asf::kOk);
    if (header) *header = r.Header();
    SinkAll sink;
    EXPECT_EQ(r.Run(sink), asf::kOk);
    return sink.samples;
}

TEST(WmWriter, LargeSamplesAreSplitAndManySmallOnesShareTheirPackets) {
    AsfProfile p = ProfileOf({Video(1), Audio(2)});
    std::vector<Sample> in;
    for (int k = 0; k < 100; ++k) {
        in.push_back({1, uint64_t(k) * 400000, 0, uint32_t(k % 10 == 0 ? kSampleCleanPoint : 0),
                      Bytes(size_t(k % 7 == 0 ? 700 : 3 + k), uint8_t(k))});
        in.push_back({2, uint64_t(k) * 400000 + 100000, 0, kSampleCleanPoint, Bytes(5, uint8_t(k + 100))});
    }
    AsfHeader h;
    auto out = RoundTrip(p, in, 256, &h);
    ASSERT_EQ(out.size(), in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(out[i].stream, in[i].stream);
        EXPECT_EQ(out[i].time, in[i].time);
        EXPECT_EQ(out[i].flags, in[i].flags);
        EXPECT_EQ(out[i].bytes, in[i].bytes);
    }
    EXPECT_EQ(h.fileProperties.flags, kFilePropSeekable);
    EXPECT_EQ(h.fileProperties.preroll, 1000u);
    EXPECT_EQ(h.Duration(), 99u * 400000 + 100000 + 400000);  // last sample plus one step
}

TEST(WmWriter, SamplesArrivingOutOfOrderAreWrittenInTimeOrder) {
    AsfProfile p = ProfileOf({Audio(1), Audio(2)});
    std::vector<Sample> in;
    // Stream 2 runs up to 1 s behind stream 1, as two threads may deliver.
    for (int k = 0; k < 40; ++k)
        in.push_back({1, uint64_t(k) * 500000, 0, kSampleCleanPoint, Bytes(30, uint8_t(k))});
    for (int k = 0; k < 40; ++k)
        in.insert(in.begin() + 2 * k + 1,
                  {2, uint64_t(k) * 500000, 0, kSampleCleanPoint, Bytes(20, uint8_t(k + 50))});
    std::rotate(in.begin(), in.begin() + 1, in.begin() + 20);
    auto out = RoundTrip(p, in, 512);
    ASSERT_EQ(out.size(), in.size());
    for (size_t i = 1; i < out.size(); ++i) EXPECT_GE(out[i].time, out[i - 1].time) << i;
}

TEST(WmWriter, HoldsBackOnlyAFewSecondsOfSamples) {
    AsfProfile p = ProfileOf({Audio(1)});
    AsfWriter w;
    ASSERT_EQ(w.SetProfile(p), asf::kOk);
    ASSERT_EQ(w.SetOutput(std::make_unique<MemoryIO>()), asf::kOk);
    ASSERT_EQ(w.BeginWriting(), asf::kOk);
    size_t most = 0;
    for (int k = 0; k < 2000; ++k) {  // 200 s, one sample every 100 ms
        ASSERT_EQ(w.WriteStreamSample(1, uint64_t(k) * 1000000, 0, kSampleCleanPoint, Bytes(100, uint8_t(k))),
                  asf::kOk);
        most = std::max(most, w.HeldBack());
    }
    EXPECT_LE(most, 31u);
    EXPECT_EQ(w.EndWriting(), asf::kOk);
    EXPECT_EQ(w.HeldBack(), 0u);
}

// Many megabytes of held-back samples of varied sizes, some arriving late,
// and one far ahead of the others (from then on samples go out as they come,
// and that one stays to the end, so the memory that holds the samples must
// move around it): every sample comes back whole, in the order of a plain
// model of the writer's rule (the earliest first, those of the same time in
// their order of arrival, once the newest is three seconds later).
TEST(WmWriter, HeldBackSamplesComeBackWholeThroughALongRun) {
    AsfProfile p = ProfileOf({Video(1), Audio(2)});
    std::vector<Sample> in;
    for (int k = 0; k < 3000; ++k) {
        const size_t size = k % 97 == 0 ? 200000 : 300 + size_t(k * 7919 % 6000);
        in.push_back({1, uint64_t(k) * 400000, 0, kSampleCleanPoint, Bytes(size, uint8_t(k))});
        in.push_back(
            {2, uint64_t(k) * 400000, 0, kSampleCleanPoint, Bytes(200 + size_t(k % 5), uint8_t(k + 7))});
    }
    for (size_t i = 5; i + 3 < in.size(); i += 11) std::swap(in[i], in[i + 3]);
    in.insert(in.begin() + 2000, {2, 2999ull * 400000 + 10000, 0, kSampleCleanPoint, Bytes(5000, 99)});
    std::vector<Sample> expected;
    {
        std::multimap<uint64_t, const Sample*> held;
        uint64_t newest = 0;
        for (const auto& s : in) {
            held.emplace(s.time, &s);
            newest = std::max(newest, s.time);
            while (!held.empty() && held.begin()->first + 30000000 <= newest) {
                expected.push_back(*held.begin()->second);
                held.erase(held.begin());
            }
        }
        for (const auto& [t, s] : held) expected.push_back(*s);
    }
    const auto out = RoundTrip(p, in, 8000);
    ASSERT_EQ(out.size(), expected.size());
    for (size_t i = 0; i < out.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(out[i].stream, expected[i].stream);
        ASSERT_EQ(out[i].time, expected[i].time);
        ASSERT_EQ(out[i].bytes, expected[i].bytes);
    }
}

// Samples lent from the reader's blocks and held back there give the same
// file as copies of them: objects larger than a block and across the blocks'
// edges, a sample far ahead of the others that stays to the end (and holds a
// block, then the lent samples' queue, long enough to be copied), a stream
// that takes a small part of what is read (its blocks would outweigh its
// samples), and a reader that is gone before the writer ends.
TEST(WmWriter, LentSamplesGiveTheSameFileAsCopies) {
    AsfWriter source;
    ASSERT_EQ(source.SetProfile(ProfileOf({Video(1), Audio(2)})), asf::kOk);
    ASSERT_EQ(source.SetOutput(std::make_unique<MemoryIO>()), asf::kOk);
    ASSERT_EQ(source.BeginWriting(), asf::kOk);
    for (int k = 0; k < 3000; ++k) {
        const size_t size = k % 97 == 0 ? 300000 : 300 + size_t(k * 7919 % 6000);
        const uint32_t key = k % 25 == 0 ? kSampleCleanPoint : 0;
        ASSERT_EQ(source.WriteStreamSample(1, uint64_t(k) * 400000, 0, key, Bytes(size, uint8_t(k))),
                  asf::kOk);
        for (int a = 0; a < 6; ++a)
            ASSERT_EQ(source.WriteStreamSample(2, uint64_t(k) * 400000 + uint64_t(a) * 66666, 0,
                                               kSampleCleanPoint, Bytes(90 + size_t(k % 5), uint8_t(k + a))),
                      asf::kOk);
    }
    ASSERT_EQ(source.EndWriting(), asf::kOk);
    const std::vector<uint8_t> file = static_cast<MemoryIO&>(*source.TakeOutput()).Take();

    // Writes each sample to one writer as the reader lends it, to the other as a copy.
    struct Twin : IAsfSampleSink {
        AsfWriter* lent = nullptr;
        AsfWriter* copied = nullptr;
        uint16_t only = 0;  // the one stream written as number 1; 0: every stream
        size_t farAt = 0;   // the sample moved far ahead (counted from 1; 0: none)
        size_t seen = 0;
        AsfResult OnStreamSample(uint16_t s, uint64_t t, uint64_t d, uint32_t f,
                                 const AsfSampleBuffer& b) override {
            if (only && s != only) return asf::kOk;
            if (++seen == farAt) t += 10000000000ull;  // held back to the end
            const uint16_t n = only ? 1 : s;
            const AsfResult hr = lent->WriteStreamSample(n, t, d, f, b);
            if (hr != asf::kOk) return hr;
            const std::vector<uint8_t> copy = b.ToVector();
            return copied->WriteStreamSample(n, t, d, f, std::span<const uint8_t>(copy));
        }
    };
    const struct {
        uint16_t only;
        size_t farAt;
    } cases[] = {{0, 0}, {0, 500}, {2, 0}, {2, 500}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.only << " " << c.farAt);
        const uint16_t only = c.only;
        AsfWriter lent, copied;
        {
            auto reader = std::make_unique<AsfReader>();
            ASSERT_EQ(reader->Open(std::make_unique<MemoryIO>(std::span<const uint8_t>(file))), asf::kOk);
            AsfProfile p = *reader->Profile();
            if (only) {
                auto stream = p.GetStreamByNumber(only);
                ASSERT_TRUE(stream);
                ASSERT_EQ(stream->SetStreamNumber(1), asf::kOk);
                p = ProfileOf({*stream});
            }
            for (AsfWriter* w : {&lent, &copied}) {
                w->SetDeterministic(true);
                ASSERT_EQ(w->SetProfile(p), asf::kOk);
                ASSERT_EQ(w->SetOutput(std::make_unique<MemoryIO>()), asf::kOk);
                ASSERT_EQ(w->BeginWriting(), asf::kOk);
            }
            Twin twin;
            twin.lent = &lent;
            twin.copied = &copied;
            twin.only = only;
            twin.farAt = c.farAt;
            ASSERT_EQ(reader->Run(twin), asf::kOk);
        }  // the reader is gone; the samples held back stay whole
        ASSERT_EQ(lent.EndWriting(), asf::kOk);
        ASSERT_EQ(copied.EndWriting(), asf::kOk);
        const auto a = lent.TakeOutput(), b = copied.TakeOutput();
        const auto& bytes = static_cast<MemoryIO&>(*a).Data();
        EXPECT_GT(bytes.size(), only ? 1000000u : 10000000u);
        EXPECT_TRUE(bytes == static_cast<MemoryIO&>(*b).Data());
    }
}

// Over a long file with many key frames, some arriving out of order, every
// second of the simple index names the first packet of the latest key frame
// at or before it (the first key frame before that), and how many packets it
// spans; the largest span of all key frames is in the index header.
// Times that are damage (a join after a file that states a duration of
// years) must not make an index of gigabytes: a few frames get none.
TEST(WmWriter, NoIndexLargerThanItsPackets) {
    const struct {
        uint64_t lastTime;  // 100 ns
        bool indexed;
    } cases[] = {{uint64_t(20) * 60 * 10000000, true}, {uint64_t(2) * 365 * 86400 * 10000000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lastTime);
        AsfWriter w;
        ASSERT_EQ(w.SetProfile(ProfileOf({Video(1)})), asf::kOk);
        ASSERT_EQ(w.SetOutput(std::make_unique<MemoryIO>()), asf::kOk);
        ASSERT_EQ(w.BeginWriting(), asf::kOk);
        ASSERT_EQ(w.WriteStreamSample(1, 0, 0, kSampleCleanPoint, Bytes(1500, 1)), asf::kOk);
        ASSERT_EQ(w.WriteStreamSample(1, c.lastTime, 0, kSampleCleanPoint, Bytes(1500, 2)), asf::kOk);
        ASSERT_EQ(w.EndWriting(), asf::kOk);
        auto io = w.TakeOutput();
        const std::vector<uint8_t> file = static_cast<MemoryIO&>(*io).Data();
        EXPECT_LT(file.size(), size_t(1) << 21);
        std::vector<uint8_t> guid(16);
        asfguid::kSimpleIndex.ToBytes(guid.data());
        EXPECT_EQ(std::search(file.begin(), file.end(), guid.begin(), guid.end()) != file.end(), c.indexed);
    }
}

TEST(WmWriter, SimpleIndexNamesTheLatestKeyFrameOfEverySecond) {
    AsfProfile p = ProfileOf({Video(1)});
    AsfWriter w;
    ASSERT_EQ(w.SetProfile(p), asf::kOk);
    ASSERT_EQ(w.SetPacketSize(3200), asf::kOk);
    ASSERT_EQ(w.SetOutput(std::make_unique<MemoryIO>()), asf::kOk);
    ASSERT_EQ(w.BeginWriting(), asf::kOk);
    // 20 minutes at 10 frames a second: key frames in runs, sizes that make
    // some of them span several packets, and now and then a frame that comes
    // a little late.
    std::vector<std::pair<uint64_t, int>> order;
    for (int k = 0; k < 12000; ++k) order.push_back({uint64_t(k) * 1000000 + uint64_t(k % 3) * 70000, k});
    for (size_t i = 7; i + 1 < order.size(); i += 13) std::swap(order[i], order[i + 1]);
    for (const auto& [time, k] : order) {
        const bool key = (k / 7) % 3 != 1;
        const size_t size = k % 50 == 0 ? 9000 : 1500 + size_t(k % 11) * 10;
        ASSERT_EQ(w.WriteStreamSample(1, time, 0, key ? kSampleCleanPoint : 0, Bytes(size, uint8_t(k))),
                  asf::kOk);
    }
    ASSERT_EQ(w.EndWriting(), asf::kOk);
    auto io = w.TakeOutput();
    const std::vector<uint8_t> file = static_cast<MemoryIO&>(*io).Data();
    MemoryIO view{std::span<const uint8_t>(file)};
    AsfHeader h;
    ASSERT_EQ(ParseAsfHeader(view, h), asf::kOk);

    // The key frames as the packets hold them: presentation time, first packet, packets spanned.
    struct Key {
        uint32_t pts, packet, count;
    };
    std::vector<Key> keys;
    for (uint64_t n = 0; n < h.dataPacketCount; ++n) {
        const auto packet = std::span<const uint8_t>(file).subspan(h.firstPacketOffset + n * 3200, 3200);
        AsfPacketInfo info;
        ASSERT_EQ(ParseAsfPacket(packet, info,
                                 [&](const AsfPayload& pl) {
                                     if (!pl.keyFrame) return;
                                     if (pl.objectOffset == 0)
                                         keys.push_back({pl.presentationTime, uint32_t(n), 0});
                                     keys.back().count = uint32_t(n) - keys.back().packet + 1;
                                 }),
                  asf::kOk);
    }
    ASSERT_GT(keys.size(), 5000u);
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.pts < b.pts; });

    const size_t at = size_t(h.dataObjectOffset + h.dataObjectSize);
    ASSERT_LE(at + 56, file.size());
    ByteReader index(std::span<const uint8_t>(file).subspan(at));
    index.Skip(16 + 8 + 16);
    EXPECT_EQ(index.U64LE(), 10000000u);
    uint32_t widest = 1;
    for (const Key& k : keys) widest = std::max(widest, k.count);
    EXPECT_GT(widest, 1u);
    EXPECT_EQ(index.U32LE(), widest);
    const uint32_t entries = index.U32LE();
    EXPECT_EQ(entries, (h.fileProperties.playDuration / 10000) / 1000 + 1);
    size_t k = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        while (k + 1 < keys.size() && keys[k + 1].pts <= i * 1000) ++k;
        SCOPED_TRACE("second " + std::to_string(i));
        ASSERT_EQ(index.U32LE(), keys[k].packet);
        ASSERT_EQ(index.U16LE(), keys[k].count);
    }
    EXPECT_TRUE(index.Ok());
}

TEST(WmWriter, StreamNamesKeepTheirLanguages) {
    AsfStreamConfig v = Video(1);
    v.names = {{7, u"en-us", u"Main"}, {0, u"ja-jp", u"Shu"}};
    AsfStreamConfig a = Audio(2);
    a.names = {{3, u"ja-jp", u"Oto"}};
    AsfHeader h;
    RoundTrip(ProfileOf({v, a}), {{1, 0, 0, kSampleCleanPoint, Bytes(10, 1)}}, 256, &h);
    ASSERT_EQ(h.languages, (std::vector<std::u16string>{u"en-us", u"ja-jp"}));
    const auto& names1 = h.profile.GetStream(0)->names;
    ASSERT_EQ(names1.size(), 2u);
    EXPECT_EQ(names1[0].name, u"Main");
    EXPECT_EQ(names1[0].language, u"en-us");
    EXPECT_EQ(names1[1].language, u"ja-jp");
    const auto& names2 = h.profile.GetStream(1)->names;
    ASSERT_EQ(names2.size(), 1u);
    EXPECT_EQ(names2[0].name, u"Oto");
    EXPECT_EQ(names2[0].language, u"ja-jp");
}

// Each stream's language reaches the output through a language list of the
// output's own: two audio streams keep which is English and which French,
// wherever they stood in the input's list, and a stream without a language
// does not take another's.
TEST(WmWriter, StreamLanguagesAreRenumberedIntoTheOutputList) {
    AsfStreamConfig v = Video(1), en = Audio(2), fr = Audio(3);
    en.languageIndex = 4;  // indices into some input's list: not carried as they are
    en.language = u"en-us";
    fr.languageIndex = 2;
    fr.language = u"fr-fr";
    struct Case {
        std::vector<AsfStreamConfig> streams;
        std::vector<std::u16string> languages;  // expected list
        std::vector<std::u16string> perStream;  // expected language of each stream
    } cases[] = {
        {{v, en, fr}, {u"en-us", u"fr-fr", u""}, {u"", u"en-us", u"fr-fr"}},
        {{fr, en}, {u"fr-fr", u"en-us"}, {u"fr-fr", u"en-us"}},
        {{v}, {}, {u""}},
    };
    for (const auto& c : cases) {
        AsfHeader h;
        RoundTrip(ProfileOf(c.streams), {{c.streams[0].streamNumber, 0, 0, kSampleCleanPoint, Bytes(10, 1)}},
                  256, &h);
        EXPECT_EQ(h.languages, c.languages);
        ASSERT_EQ(h.profile.GetStreamCount(), c.perStream.size());
        for (size_t i = 0; i < c.perStream.size(); ++i)
            EXPECT_EQ(h.profile.GetStream(uint32_t(i))->language, c.perStream[i]);
    }
}

AsfStreamGroup Group(const Guid& id, std::vector<std::vector<uint16_t>> records, size_t headSize = 16) {
    AsfStreamGroup g;
    g.id = id;
    g.head.assign(headSize, 0x5A);
    g.records = std::move(records);
    if (id == asfguid::kStreamPrioritization)
        for (const auto& r : g.records) g.flags.emplace_back(r.size(), uint16_t(1));
    return g;
}

// The objects that tie streams together (which exclude each other, share a
// bandwidth, come first) are written for the streams the output keeps; one
// that no longer ties anything is left out, and a stream removed from the
// profile is not taken for one added later under its number.
TEST(WmWriter, StreamGroupsFollowTheStreamsKept) {
    AsfProfile p = ProfileOf({Video(1), Audio(2), Audio(3), Audio(4)});
    p.AddGroup(Group(asfguid::kMutualExclusion, {{2, 3, 4}}));
    p.AddGroup(Group(asfguid::kAdvancedMutualExclusion, {{3, 4}}));
    p.AddGroup(Group(asfguid::kGroupMutualExclusion, {{1, 2}, {1, 3}, {4}}));
    p.AddGroup(Group(asfguid::kBandwidthSharing, {{2, 3}}, 24));
    p.AddGroup(Group(asfguid::kStreamPrioritization, {{1, 2, 3, 4}}, 0));
    ASSERT_EQ(p.RemoveStreamByNumber(4), asf::kOk);
    AsfStreamConfig again = Audio(4);  // another stream under the removed number
    ASSERT_EQ(p.AddStream(again), asf::kOk);

    AsfHeader h;
    RoundTrip(p, {{1, 0, 0, kSampleCleanPoint, Bytes(10, 1)}}, 512, &h);
    const auto& groups = h.profile.Groups();
    ASSERT_EQ(groups.size(), 4u);  // the advanced exclusion of 3 alone says nothing
    EXPECT_EQ(groups[0].id, asfguid::kMutualExclusion);
    EXPECT_EQ(groups[0].records, (std::vector<std::vector<uint16_t>>{{2, 3}}));
    EXPECT_EQ(groups[0].head, std::vector<uint8_t>(16, 0x5A));
    EXPECT_EQ(groups[1].id, asfguid::kGroupMutualExclusion);
    EXPECT_EQ(groups[1].records, (std::vector<std::vector<uint16_t>>{{1, 2}, {1, 3}}));
    EXPECT_EQ(groups[2].id, asfguid::kBandwidthSharing);
    EXPECT_EQ(groups[2].records, (std::vector<std::vector<uint16_t>>{{2, 3}}));
    EXPECT_EQ(groups[2].head, std::vector<uint8_t>(24, 0x5A));
    EXPECT_EQ(groups[3].id, asfguid::kStreamPrioritization);
    EXPECT_EQ(groups[3].records, (std::vector<std::vector<uint16_t>>{{1, 2, 3}}));
    EXPECT_EQ(groups[3].flags, (std::vector<std::vector<uint16_t>>{{1, 1, 1}}));

    // A stream group that does not fit its object is not taken for one.
    AsfStreamGroup g;
    const std::vector<uint8_t> shortBody(17, 0),
        lyingCount = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 1, 0};
    EXPECT_FALSE(ParseStreamGroup(asfguid::kMutualExclusion, shortBody, g));
    EXPECT_FALSE(ParseStreamGroup(asfguid::kMutualExclusion, lyingCount, g));
    EXPECT_FALSE(ParseStreamGroup(asfguid::kGroupMutualExclusion, lyingCount, g));
    EXPECT_FALSE(ParseStreamGroup(asfguid::kCodecList, shortBody, g));
}

TEST(WmWriter, SampleDurationsTravelInThePayloadExtension) {
    AsfStreamConfig a = Audio(1);
    a.hasExtended = true;
    a.payloadExtensions = {{asfguid::kPayloadExtSampleDuration, 2, {}}, {Guid{1, 2, 3, {}}, 4, {}}};
    AsfProfile p = ProfileOf({a});
    auto out = RoundTrip(
        p, {{1, 0, 460000, kSampleCleanPoint, Bytes(40, 1)}, {1, 460000, 470000, 0, Bytes(40, 2)}}, 256);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].duration, 460000u);
    EXPECT_EQ(out[1].duration, 470000u);
}

TEST(WmWriter, ConcurrentWritersKeepTheFileConsistent) {
    AsfProfile p = ProfileOf({Video(1), Audio(2)});
    AsfWriter w;
    ASSERT_EQ(w.SetProfile(p), asf::kOk);
    ASSERT_EQ(w.SetPacketSize(300), asf::kOk);
    ASSERT_EQ(w.SetOutput(std::make_unique<MemoryIO>()), asf::kOk);
    ASSERT_EQ(w.BeginWriting(), asf::kOk);
    auto feed = [&](uint16_t stream) {
        for (int k = 0; k < 500; ++k)
            w.WriteStreamSample(stream, uint64_t(k) * 100000, 0, kSampleCleanPoint,
                                Bytes(50 + k % 200, uint8_t(k)));
    };
    std::thread a(feed, 1), b(feed, 2);
    a.join();
    b.join();
    ASSERT_EQ(w.EndWriting(), asf::kOk);
    AsfReader r;
    ASSERT_EQ(r.Open(w.TakeOutput()), asf::kOk);
    SinkAll sink;
    ASSERT_EQ(r.Run(sink), asf::kOk);
    ASSERT_EQ(sink.samples.size(), 1000u);
    int perStream[3] = {0, 0, 0};
    for (const auto& s : sink.samples) {
        int k = perStream[s.stream]++;
        EXPECT_EQ(s.bytes, Bytes(50 + k % 200, uint8_t(k)));
    }
}

TEST(WmProfile, EnlargeBufferWindows) {
    struct Case {
        const char* what;
        std::vector<AsfStreamConfig> streams;
        std::vector<uint32_t> want;
    };
    auto vbr = [](AsfStreamConfig s) {
        s.vbr = true;
        return s;
    };
    const Case cases[] = {
        {"each window doubled", {Video(1, 3000), Audio(2, 1000)}, {6000, 2000}},
        {"identical second stream adds the first's enlarged window",
         {Audio(1, 1000), Audio(2, 1500)},
         {2000, 3500}},
        {"a different bit rate makes streams differ",
         {Audio(1, 1000, 4000), Audio(2, 1000, 8000)},
         {2000, 2000}},
        {"VBR streams match whatever their bit rate",
         {vbr(Video(1, 1000, 1)), vbr(Video(2, 500, 2))},
         {2000, 2500}},
        {"a VBR stream does not match a CBR one", {Video(1, 1000), vbr(Video(2, 500))}, {2000, 1000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AsfProfile p;
        for (const auto& s : c.streams) ASSERT_EQ(p.AddStream(s), asf::kOk);
        ASSERT_EQ(EnlargeBufferWindows(p), asf::kOk);
        for (size_t i = 0; i < c.want.size(); ++i)
            EXPECT_EQ(p.GetStream(uint32_t(i))->BufferWindow(), c.want[i]);
    }
}

TEST(WmProfile, StreamEditing) {
    AsfProfile p = ProfileOf({Video(1), Audio(2)});
    EXPECT_EQ(p.AddStream(Audio(2)), asf::kInvalidStream);
    EXPECT_EQ(p.AddStream(Audio(0)), asf::kInvalidArg);
    EXPECT_EQ(p.AddStream(Audio(128)), asf::kInvalidArg);
    EXPECT_LT(p.RemoveStreamByNumber(7), 0);
    auto c = p.GetStreamByNumber(2);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->SetStreamNumber(0), asf::kInvalidArg);
    ASSERT_EQ(p.RemoveStreamByNumber(1), asf::kOk);
    ASSERT_EQ(p.RemoveStreamByNumber(2), asf::kOk);
    EXPECT_EQ(p.GetStreamCount(), 0u);
    ASSERT_EQ(c->SetStreamNumber(1), asf::kOk);
    ASSERT_EQ(p.AddStream(*c), asf::kOk);
    EXPECT_EQ(p.GetStream(0)->MajorType(), kMediaTypeAudio);
    EXPECT_EQ(p.GetStream(0)->StreamNumber(), 1);
}

}  // namespace
}  // namespace vt::test
