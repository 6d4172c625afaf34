// Nothing lost, nothing broken: audio after empty chunks, MPEG audio cut on
// frame boundaries, MP3-in-WAV audio in a union, and WAV outputs that reach
// the size limit of the format.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "core/ErrorCodes.h"
#include "media/avi/DecMovie.h"
#include "pages/avi/AviOperations.h"
#include "platform/AviFile.h"
#include "tests/aviops/AviOpsTestSupport.h"

namespace vt {
namespace {

using namespace vt::test;

SectionRange Range(int64_t startMs, int64_t endMs) {
    return {FromMilliseconds(startMs), FromMilliseconds(endMs)};
}

// True when `part` appears in `whole` as one run, in order.
bool IsRunOf(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
    return !part.empty() && std::search(whole.begin(), whole.end(), part.begin(), part.end()) != whole.end();
}

// MovieMp3 played five times over by ffmpeg's stream copy: its audio stream
// (one MP3 frame a chunk) holds empty chunks where the copies meet.
fs::path MovieMp3Looped() {
    return MakeFixture("keep_mp3_looped.avi", "-stream_loop 4 -i " + Q(MovieMp3()) + " -c copy");
}

// 8 s of MPEG-4 video with 44.1 kHz MP3 audio, one frame a chunk as ffmpeg writes it.
fs::path Movie8sMp3() {
    return MakeFixture("keep_8s_mp3.avi",
                       "-f lavfi -i testsrc=size=160x120:rate=25:duration=8 "
                       "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=8.5 "
                       "-c:v mpeg4 -g 25 -c:a libmp3lame -b:a 128k");
}

// The same movie with its MP3 audio stored as other programs store constant
// bit-rate MP3: a sample is a byte (sample size 1, block align 1), and the
// chunks follow the video frames (640 bytes each), not the MP3 frames; the
// audio stops with the video, in the middle of a frame.
fs::path MovieCbrMp3() {
    const fs::path out = FixtureDir() / "keep_cbr_mp3.avi";
    if (fs::exists(out) && fs::file_size(out) > 0) return out;
    const fs::path src = Movie8sMp3();
    if (src.empty()) return {};
    std::shared_ptr<AviFile> in, file;
    std::shared_ptr<AviStream> v, a, ov, oa;
    EXPECT_EQ(AviFile::Open(src.string(), in), kAviOk);
    if (!in || in->GetStream(v, kStreamTypeVideo, 0) || in->GetStream(a, kStreamTypeAudio, 0)) return {};
    std::vector<uint8_t> audio, buf(1 << 20);
    for (int32_t p = 0; p < a->Length(); ++p) {
        int32_t b = 0, s = 0;
        a->Read(p, kAviStreamReadConvenient, buf.data(), int32_t(buf.size()), &b, &s);
        audio.insert(audio.end(), buf.begin(), buf.begin() + b);
    }
    int32_t fsize = 0;
    a->ReadFormat(0, nullptr, fsize);
    std::vector<uint8_t> afmt(static_cast<size_t>(fsize)), vfmt;
    a->ReadFormat(0, afmt.data(), fsize);
    PutU16LE(&afmt[12], 1);  // nBlockAlign
    v->ReadFormat(0, nullptr, fsize);
    vfmt.resize(size_t(fsize));
    v->ReadFormat(0, vfmt.data(), fsize);
    AviStreamInfo vi, ai;
    v->Info(vi);
    a->Info(ai);
    ai.dwScale = 1;
    ai.dwRate = 16000;
    ai.dwSampleSize = 1;
    vi.dwLength = ai.dwLength = 0;
    const fs::path tmp = FixtureDir() / (".tmp-" + std::to_string(::getpid()) + "-keep_cbr_mp3.avi");
    EXPECT_EQ(AviFile::Create(tmp.string(), file), kAviOk);
    file->CreateStream(ov, vi);
    ov->SetFormat(0, vfmt.data(), int32_t(vfmt.size()));
    file->CreateStream(oa, ai);
    oa->SetFormat(0, afmt.data(), int32_t(afmt.size()));
    size_t done = 0;
    for (int32_t f = 0; f < v->Length(); ++f) {
        int32_t b = 0, s = 0;
        v->Read(f, kAviStreamReadConvenient, buf.data(), int32_t(buf.size()), &b, &s);
        ov->Write(-1, 1, buf.data(), b, v->IsKeyFrame(f) ? kAviIfKeyFrame : 0, nullptr, nullptr);
        const size_t upTo = std::min(audio.size(), size_t(f + 1) * 640);
        oa->Write(-1, 0, audio.data() + done, int32_t(upTo - done), kAviIfKeyFrame, nullptr, nullptr);
        done = upTo;
    }
    EXPECT_EQ(file->Finish(), kAviOk);
    ov.reset();
    oa.reset();
    file.reset();
    fs::rename(tmp, out);
    return out;
}

// 44.1 kHz MP3 in a WAV file, as ffmpeg writes it: block align 1152.
fs::path WavMp3() {
    return MakeFixture(
        "keep_mp3.wav",
        "-f lavfi -i sine=frequency=500:sample_rate=44100:duration=3 -c:a libmp3lame -b:a 128k");
}

// The file offsets of the frame starts of an MP3 stream, from ffmpeg's packets.
std::vector<size_t> FrameStarts(const fs::path& file) {
    std::vector<size_t> starts{0};
    for (const std::string& l : PacketFlags(file, "a:0"))  // "size,flags"
        starts.push_back(starts.back() + std::stoul(l.substr(0, l.find(','))));
    return starts;
}

// ---------------------------------------------------------------- empty audio chunks

// Audio after an empty chunk is kept by every path: each audio packet of the
// input reaches the output, in order.
TEST(KeepsAudio, AfterEmptyChunks) {
    const fs::path looped = MovieMp3Looped();
    ASSERT_FALSE(looped.empty());
    const auto packets = PacketChecksums(looped, "a:0");
    ASSERT_EQ(packets.size(), 5 * PacketChecksums(MovieMp3(), "a:0").size());
    // The fixture shows the fault: its idx1 lists empty audio chunks.
    const std::vector<uint8_t> bytes = ReadFile(looped);
    const std::string text(bytes.begin(), bytes.end());
    const size_t idx1 = text.rfind("idx1");
    ASSERT_NE(idx1, std::string::npos);
    int empty = 0;
    for (size_t e = idx1 + 8; e + 16 <= bytes.size(); e += 16)
        empty += text.compare(e, 4, "01wb") == 0 && GetU32LE(&bytes[e + 12]) == 0;
    ASSERT_GT(empty, 0);
    TempDir dir;
    std::string errors;

    RecordingHost join;
    const fs::path joined = dir / "joined.avi";
    ASSERT_EQ(ConnectAviFiles({looped.string(), looped.string()}, joined.string(), join), 0);
    EXPECT_EQ(PacketChecksums(joined, "a:0"), Concat(packets, packets));
    EXPECT_EQ(PacketChecksums(joined, "v:0"),
              Concat(PacketChecksums(looped, "v:0"), PacketChecksums(looped, "v:0")));
    EXPECT_TRUE(DecodesCleanly(joined, &errors)) << errors;

    // The middle half: 2.5 s to 7.5 s, about 191 frames of 576 samples at 22050 Hz.
    RecordingHost extract;
    const fs::path section = dir / "section.avi";
    ASSERT_EQ(ExtractAviSection(looped.string(), section.string(), Range(2500, 7500), extract), 0);
    const auto sectionPackets = PacketChecksums(section, "a:0");
    EXPECT_GE(sectionPackets.size(), 189u);
    EXPECT_TRUE(IsRunOf(sectionPackets, packets));
    EXPECT_TRUE(DecodesCleanly(section, &errors)) << errors;

    RecordingHost separate;
    const fs::path wav = dir / "audio.wav";
    ASSERT_EQ(AviAudioSeparation(looped.string(), wav.string(), separate).code, 0);
    EXPECT_EQ(PacketChecksums(wav, "a:0"), packets);
    EXPECT_TRUE(DecodesCleanly(wav, &errors)) << errors;

    RecordingHost combine;
    const fs::path comb = dir / "comb.avi";
    ASSERT_EQ(UnionAviStreams(MovieA().string(), looped.string(), comb.string(), combine), 0);
    EXPECT_EQ(PacketChecksums(comb, "a:0"), packets);
    EXPECT_TRUE(DecodesCleanly(comb, &errors)) << errors;

    RecordingHost wavJoin;
    const fs::path wavJoined = dir / "joined.wav";
    ASSERT_EQ(WavConnection({looped.string()}, wavJoined.string(), wavJoin).code, 0);
    EXPECT_EQ(PacketChecksums(wavJoined, "a:0"), packets);
}

// ---------------------------------------------------------------- MPEG audio on frame boundaries

// All audio bytes of an AVI file, read through our reader.
std::string AudioBytes(const fs::path& file) {
    std::shared_ptr<AviFile> f;
    std::shared_ptr<AviStream> a;
    if (AviFile::Open(file.string(), f) != kAviOk || f->GetStream(a, kStreamTypeAudio, 0) != kAviOk)
        return {};
    std::string out;
    std::vector<uint8_t> buf(1 << 20);
    for (int32_t p = a->Start(); p < a->Start() + a->Length();) {
        int32_t b = 0, s = 0;
        if (a->Read(p, kAviStreamReadConvenient, buf.data(), int32_t(buf.size()), &b, &s) != kAviOk || s <= 0)
            break;
        out.append(reinterpret_cast<const char*>(buf.data()), size_t(b));
        p += s;
    }
    return out;
}

// Constant bit-rate MP3 stored a byte a sample: an extraction at odd times
// and a join start and end the audio on whole frames, so it decodes without
// errors; the audio is the source's, frame for frame.
TEST(MpegAudioFrames, ExtractionAndJoinKeepWholeFrames) {
    const fs::path src = MovieCbrMp3();
    ASSERT_FALSE(src.empty());
    {
        CDecAVIAudio r;
        ASSERT_EQ(r.Open(src.string()), 0);
        ASSERT_EQ(r.GetAudioFormat()->nBlockAlign, 1);
        ASSERT_EQ(r.GetAudioInfo()->dwSampleSize, 1u);
    }
    const std::string all = AudioBytes(src);
    std::vector<size_t> starts;  // frame starts in the source's audio; the last is its whole-frame end
    for (size_t s : FrameStarts(Movie8sMp3()))
        if (s <= all.size()) starts.push_back(s);
    ASSERT_GT(starts.size(), 250u);
    ASSERT_LT(starts.back(), all.size());  // the source ends in the middle of a frame
    auto isStart = [&](size_t at) { return std::binary_search(starts.begin(), starts.end(), at); };
    TempDir dir;
    std::string errors;

    for (auto [from, to] : {std::pair{1500, 6000}, std::pair{1370, 5830}, std::pair{0, 8000}}) {
        const fs::path out = dir / ("section" + std::to_string(from) + ".avi");
        RecordingHost host;
        int64_t startMs = -1;  // where the section really begins: a key frame
        ASSERT_EQ(ExtractAviSection(src.string(), out.string(), Range(from, to), host,
                                    [&](const TimeFields& t) { startMs = ToMilliseconds(t); }),
                  0);
        EXPECT_TRUE(DecodesCleanly(out, &errors)) << from << ": " << errors;
        const std::string audio = AudioBytes(out);
        ASSERT_FALSE(audio.empty());
        const size_t at = all.find(audio);
        ASSERT_NE(at, std::string::npos) << from;
        EXPECT_TRUE(isStart(at)) << from << ": starts at byte " << at;
        EXPECT_TRUE(isStart(at + audio.size())) << from << ": ends at byte " << at + audio.size();
        // Less than a frame (418 bytes) after the time of the first copied
        // video frame (16000 bytes a second).
        EXPECT_GE(int64_t(at), startMs * 16) << from;
        EXPECT_LT(int64_t(at), startMs * 16 + 418) << from;
    }

    const fs::path joined = dir / "joined.avi";
    RecordingHost host;
    ASSERT_EQ(ConnectAviFiles({src.string(), src.string()}, joined.string(), host), 0);
    EXPECT_TRUE(DecodesCleanly(joined, &errors)) << errors;
    const std::string whole = all.substr(0, starts.back());
    EXPECT_TRUE(AudioBytes(joined) == whole + whole);
}

// A file made by another program: XviD video with constant bit-rate MP3
// stored a byte a sample, ending in the middle of a frame. Joined with itself,
// the cut-off frame stays out of the middle of the audio.
TEST(MpegAudioFrames, JoinOfARealFileDecodes) {
    const fs::path src = SamplePath("tls__sample.avi");
    if (src.empty()) GTEST_SKIP() << "the shared samples are not there";
    TempDir dir;
    const fs::path out = dir / "joined.avi";
    RecordingHost host;
    ASSERT_EQ(ConnectAviFiles({src.string(), src.string()}, out.string(), host), 0);
    const auto r =
        vt::test::Run("ffmpeg -hide_banner -nostdin -v error -i " + Q(out) + " -map 0:a -f null - 2>&1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    const auto packets = PacketChecksums(src, "a:0");
    const auto joined = PacketChecksums(out, "a:0");
    ASSERT_GE(joined.size(), 2 * packets.size() - 2);
    EXPECT_TRUE(std::equal(packets.begin(), packets.end() - 1, joined.begin()));
}

// The data chunk of a WAV file.
std::string WavData(const fs::path& file) {
    const std::vector<uint8_t> b = ReadFile(file);
    const WavChunks w = ReadWavChunks(file);
    const std::string all(b.begin(), b.end());
    const size_t at = all.find("data");
    if (!w.ok || at == std::string::npos) return {};
    return all.substr(at + 8, w.dataSize);
}

// WAV extraction counts MPEG audio as its reader does (bytes of a WAV file,
// frames of an AVI file) and cuts it on whole frames: the range has the
// right length and place and decodes without errors.
TEST(MpegAudioFrames, WavExtractionOfMp3) {
    const fs::path wav = WavMp3();
    ASSERT_FALSE(wav.empty());
    SectionRange range;
    ASSERT_EQ(ReadWavRange(wav.string(), range), 0);
    EXPECT_NEAR(double(ToMilliseconds(range.end)), 3000.0, 60.0);
    TempDir dir;
    std::string errors;

    // 128 kbit/s: 16000 bytes a second, frames of 417 or 418 bytes.
    const fs::path out = dir / "wav.wav";
    RecordingHost host;
    ASSERT_EQ(WavExtraction(wav.string(), out.string(), Range(1000, 2000), host).code, 0);
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    const std::string all = WavData(wav), part = WavData(out);
    const size_t at = all.find(part);
    ASSERT_NE(at, std::string::npos);
    EXPECT_GE(at, 16000u);
    EXPECT_LT(at, 16418u);
    EXPECT_NEAR(double(part.size()), 16000.0, 418.0);
    EXPECT_EQ(PacketChecksums(out, "a:0").size(), part.size() / 417);

    // From an AVI file: MP3 frames of 576 samples at 22050 Hz, 38.28 a second.
    const fs::path fromAvi = dir / "avi.wav";
    RecordingHost host2;
    ASSERT_EQ(WavExtraction(MovieMp3().string(), fromAvi.string(), Range(500, 1300), host2).code, 0);
    EXPECT_TRUE(DecodesCleanly(fromAvi, &errors)) << errors;
    const auto packets = PacketChecksums(fromAvi, "a:0");
    EXPECT_NEAR(double(packets.size()), 0.8 * 22050 / 576, 1.5);
    EXPECT_TRUE(IsRunOf(packets, PacketChecksums(MovieMp3(), "a:0")));
}

// ---------------------------------------------------------------- union with MP3-in-WAV audio

// The audio stream header of a union matches its format block: MP3 from a WAV
// file with block align 1152 is written one frame a chunk (sample size 0,
// scale 1152, rate 44100), so its time stamps rise and every frame is kept.
TEST(AviUnionAudio, Mp3FromWavKeepsItsTimeStamps) {
    const fs::path wav = WavMp3();
    ASSERT_FALSE(wav.empty());
    TempDir dir;
    const fs::path out = dir / "comb.avi";
    RecordingHost host;
    ASSERT_EQ(UnionAviStreams(MovieA().string(), wav.string(), out.string(), host), 0);
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    EXPECT_EQ(PacketChecksums(out, "a:0"), PacketChecksums(wav, "a:0"));
    EXPECT_EQ(PacketChecksums(out, "v:0"), PacketChecksums(MovieA(), "v:0"));
    CDecAVIAudio r;
    ASSERT_EQ(r.Open(out.string()), 0);
    EXPECT_EQ(r.GetAudioInfo()->dwSampleSize, 0u);
    EXPECT_EQ(r.GetAudioInfo()->dwScale, 1152u);
    EXPECT_EQ(r.GetAudioInfo()->dwRate, 44100u);
    EXPECT_EQ(r.GetAudioFormat()->nBlockAlign, 1152);
    EXPECT_EQ(size_t(r.GetAudioLength()), PacketChecksums(wav, "a:0").size());
}

// ---------------------------------------------------------------- the size limit of WAV

// A join, an extraction or an audio separation whose output reaches the size
// limit of a WAV file stops with its write failure (901; 103 for the
// separation's save) and says why; the output is a complete WAV file of what
// fit. The limit is lowered here: the real one is 4 GiB.
enum class LimitOp { kJoin, kExtract, kSeparate };
struct LimitCase {
    const char* name;
    LimitOp op;
    uint64_t limit;
    int code;
};
const LimitCase kLimitCases[] = {{"join", LimitOp::kJoin, 150000, kErrAudioWrite},
                                 {"extraction", LimitOp::kExtract, 200000, kErrAudioWrite},
                                 {"separation", LimitOp::kSeparate, 200000, kErrSave}};

TEST(WavLimit, JoinExtractionAndSeparationSayWhy) {
    const fs::path a = Wav1s("ops_1s_440.wav", 440), b = Wav1s("ops_1s_660.wav", 660), long3s = Wav3s44k();
    constexpr LimitOp kJoin = LimitOp::kJoin, kExtract = LimitOp::kExtract;
    for (const LimitCase& c : kLimitCases) {
        TempDir dir;
        const fs::path out = dir / "out.wav";
        RecordingHost host;
        WavWriteOptions o;
        o.maxFileBytes = c.limit;
        const OpResult r = c.op == kJoin ? WavConnection({a.string(), b.string()}, out.string(), host, o)
                           : c.op == kExtract
                               ? WavExtraction(long3s.string(), out.string(), Range(0, 3000), host, o)
                               : AviAudioSeparation(long3s.string(), out.string(), host, o);
        EXPECT_EQ(r.code, c.code) << c.name;
        const std::string& detail = r.detail;
        EXPECT_NE(detail.find("4 GiB"), std::string::npos) << detail;
        // The extraction's messages name the input, as the page's do.
        if (c.op == kExtract) {
            EXPECT_EQ(detail.rfind(long3s.string(), 0), 0u) << detail;
        }
        const WavChunks w = ReadWavChunks(out);
        ASSERT_TRUE(w.ok) << c.name;
        EXPECT_GT(w.dataSize, 0u);
        EXPECT_LE(w.fileSize, c.limit);
        EXPECT_EQ(uint64_t(w.riffSize) + 8, w.fileSize);
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    }
}

// The front ends report a run's result once: the operations behind the
// entries return the size limit's explanation as the result's detail and
// report nothing themselves (a second report would reach the command line's
// host and the page as a second message).
TEST(WavLimit, TheExplanationIsReturnedNotReported) {
    const fs::path a = Wav1s("ops_1s_440.wav", 440), b = Wav1s("ops_1s_660.wav", 660), long3s = Wav3s44k();
    constexpr LimitOp kJoin = LimitOp::kJoin, kExtract = LimitOp::kExtract;
    for (const LimitCase& c : kLimitCases) {
        TempDir dir;
        const fs::path out = dir / "out.wav";
        RecordingHost host;
        WavWriteOptions o;
        o.maxFileBytes = c.limit;
        const OpResult r = c.op == kJoin ? WavConnection({a.string(), b.string()}, out.string(), host, o)
                           : c.op == kExtract
                               ? WavExtraction(long3s.string(), out.string(), Range(0, 3000), host, o)
                               : AviAudioSeparation(long3s.string(), out.string(), host, o);
        EXPECT_EQ(r.code, c.code) << c.name;
        EXPECT_TRUE(host.errors.empty()) << c.name;
        const std::string expected =
            (c.op == kExtract ? long3s.string() + "\n" : std::string()) + WavLimitText();
        EXPECT_EQ(r.detail, expected) << c.name;
    }
}

}  // namespace
}  // namespace vt
