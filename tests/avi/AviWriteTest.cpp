// The writer: samples copied through a reader and the writer keep their bytes,
// their key-frame flags and their empty places; the output decodes cleanly.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "core/ErrorCodes.h"
#include "tests/avi/AviFixtures.h"
#include "tests/avi/AviTestUtil.h"

namespace vt::test {
namespace {

struct CopyCase {
    const char* name;
    std::filesystem::path (*fixture)();
    bool packetAudio;  // audio chunks are packets (VBR); else compare the whole stream
};

class AviCopyTest : public ::testing::TestWithParam<CopyCase> {};

TEST_P(AviCopyTest, CopyKeepsEveryPacket) {
    auto src = GetParam().fixture();
    ASSERT_FALSE(src.empty());
    TempDir dir;
    auto out = dir / "copy.avi";
    ASSERT_EQ(CopyMovie(src, out), 0);
    EXPECT_EQ(FrameMd5Lines(out, "v:0"), FrameMd5Lines(src, "v:0"));
    EXPECT_EQ(PacketChecksums(out, "v:0"), PacketChecksums(src, "v:0"));
    if (StreamCount(src, "audio") > 0) {
        if (GetParam().packetAudio)
            EXPECT_EQ(PacketChecksums(out, "a:0"), PacketChecksums(src, "a:0"));
        else
            EXPECT_EQ(StreamMd5(out, "a:0"), StreamMd5(src, "a:0"));
        EXPECT_EQ(Probe(out, "a:0", "codec_name,sample_rate,channels"),
                  Probe(src, "a:0", "codec_name,sample_rate,channels"));
    }
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    // Key frames where the source has them.
    EXPECT_EQ(
        vt::test::Run("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv " + Q(out))
            .out,
        vt::test::Run("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv " + Q(src))
            .out);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, AviCopyTest,
    ::testing::Values(CopyCase{"Mpeg4Mp3", AviMpeg4Mp3, true}, CopyCase{"MsmpegPcm", AviMsmpegPcm, false},
                      CopyCase{"MjpegU8", AviMjpegU8, false}, CopyCase{"VbrMp3", AviVbrMp3, true},
                      CopyCase{"NoAudio", AviNoAudio, false}, CopyCase{"Dropped", AviDropped, false}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace vt::test

namespace vt::test {
namespace {

namespace fs = std::filesystem;

uint64_t RawAudioBytes(const fs::path& f, const std::string& raw) {
    auto r =
        vt::test::Run("ffmpeg -v error -nostdin -i " + Q(f) + " -map 0:a:0 -c copy -f " + raw + " - | wc -c");
    return std::strtoull(r.out.c_str(), nullptr, 10);
}

// Output past the part size goes on in RIFF-AVIX parts with super and
// standard indexes (the first part keeps its idx1); ffmpeg and our reader
// read every packet back.
TEST(AviWrite, OpenDmlPartsPastThePartSize) {
    auto src = AviMjpegU8();
    TempDir dir;
    auto out = dir / "odml.avi";
    AviWriteOptions o;
    o.partSize = 64 << 10;
    ASSERT_EQ(CopyMovie(src, out, o), 0);
    auto bytes = ReadFile(out);
    std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("AVIX"), std::string::npos);
    EXPECT_NE(text.find("indx"), std::string::npos);
    EXPECT_NE(text.find("ix00"), std::string::npos);
    EXPECT_NE(text.find("ix01"), std::string::npos);
    EXPECT_NE(text.find("idx1"), std::string::npos);
    // Every part within the part size.
    for (size_t p = text.find("RIFF"); p != std::string::npos; p = text.find("RIFF", p + 8))
        EXPECT_LE(GetU32LE(&bytes[p + 4]) + 8u, 64u << 10);
    EXPECT_EQ(FrameMd5Lines(out, "v:0"), FrameMd5Lines(src, "v:0"));
    EXPECT_EQ(StreamMd5(out, "a:0"), StreamMd5(src, "a:0"));
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    // Our reader takes the OpenDML indexes: with idx1 gone and a chunk id
    // spoiled (which would end a scan of the movi list) every sample is still there.
    auto spoiled = bytes;
    size_t idx1 = text.find("idx1");
    std::memcpy(&spoiled[idx1], "JUNK", 4);
    size_t avix = text.find("AVIX");
    size_t chunk = text.find("00dc", avix);
    ASSERT_NE(chunk, std::string::npos);
    std::memset(&spoiled[chunk], 0, 4);
    auto spoiledPath = dir / "spoiled.avi";
    WriteFile(spoiledPath, spoiled);
    CDecAVIAudio s;
    ASSERT_EQ(s.Open(spoiledPath.string()), 0);
    EXPECT_EQ(s.GetLength(), 50);
    EXPECT_EQ(s.GetAudioLength(), 44100);
    // A copy of the copy is the same again.
    CDecAVIAudio r;
    ASSERT_EQ(r.Open(out.string()), 0);
    EXPECT_EQ(r.GetLength(), 50);
    auto again = dir / "again.avi";
    ASSERT_EQ(CopyMovie(out, again), 0);
    EXPECT_EQ(FrameMd5Lines(again, "v:0"), FrameMd5Lines(src, "v:0"));
    EXPECT_EQ(StreamMd5(again, "a:0"), StreamMd5(src, "a:0"));
}

// A file past 4 GiB: large, cheap (zero-filled) frames. Set
// VT_SKIP_LARGE_TESTS to skip.
TEST(AviWrite, PastFourGiB) {
    if (std::getenv("VT_SKIP_LARGE_TESTS")) GTEST_SKIP() << "VT_SKIP_LARGE_TESTS is set";
    TempDir dir;
    auto out = dir / "huge.avi";
    const int kFrame = 32 << 20, kFrames = 130;  // 4.06 GiB of frames
    {
        std::shared_ptr<AviFile> f;
        ASSERT_EQ(AviFile::Create(out.string(), f), kAviOk);
        AviStreamInfo info;
        info.fccType = kStreamTypeVideo;
        info.fccHandler = MakeFourCC('D', 'I', 'B', ' ');
        info.dwScale = 1;
        info.dwRate = 25;
        std::shared_ptr<AviStream> s;
        ASSERT_EQ(f->CreateStream(s, info), kAviOk);
        BitmapInfoHeader bh;
        bh.biWidth = 4096;
        bh.biHeight = 2048;
        bh.biBitCount = 32;
        bh.biSizeImage = kFrame;
        ASSERT_EQ(s->SetFormat(0, &bh, sizeof bh), kAviOk);
        std::vector<uint8_t> frame(size_t(kFrame), 0);
        for (int i = 0; i < kFrames; ++i) {
            frame[0] = uint8_t(i);
            ASSERT_EQ(s->Write(i, 1, frame.data(), kFrame, kAviIfKeyFrame, nullptr, nullptr), kAviOk) << i;
        }
        ASSERT_EQ(f->Finish(), kAviOk);
    }
    ASSERT_GT(fs::file_size(out), uint64_t(4) << 30);
    EXPECT_EQ(Probe(out, "v:0", "nb_frames"), std::to_string(kFrames));
    CDecAVI r;
    ASSERT_EQ(r.Open(out.string()), 0);
    EXPECT_EQ(r.GetLength(), kFrames);
    CMemBuffBase<unsigned char> buf;
    int samples = 0, bytes = 0;
    ASSERT_EQ(r.ReadVideoSample(kFrames - 1, &samples, buf, &bytes), 0);
    EXPECT_EQ(bytes, kFrame);
    EXPECT_EQ(buf.GetData()[0], uint8_t(kFrames - 1));
    // ffmpeg finds the last frame too.
    auto last = vt::test::Run(
                    "ffprobe -v error -select_streams v:0 -read_intervals 5.1% -show_entries packet=pts "
                    "-of csv=p=0 " +
                    Q(out) + " | tail -1")
                    .out;
    EXPECT_EQ(last, std::to_string(kFrames - 1) + "\n");
    fs::remove(out);
}

// A synthetic file of two video streams (priorities 1 and 0, handler 0) and
// two audio streams.
fs::path WriteSynthetic(const fs::path& dir, uint16_t prio0, uint16_t prio1) {
    auto path = dir / "synthetic.avi";
    std::shared_ptr<AviFile> f;
    EXPECT_EQ(AviFile::Create(path.string(), f), kAviOk);
    for (int k = 0; k < 2; ++k) {
        AviStreamInfo info;
        info.fccType = kStreamTypeVideo;
        info.fccHandler = k == 0 ? 0 : 1;
        info.wPriority = k == 0 ? prio0 : prio1;
        info.dwScale = 1;
        info.dwRate = 10 + k;
        std::shared_ptr<AviStream> s;
        EXPECT_EQ(f->CreateStream(s, info), kAviOk);
        BitmapInfoHeader bh;
        bh.biWidth = 16 + k;
        bh.biHeight = 8;
        bh.biBitCount = 24;
        bh.biCompression = 0;
        EXPECT_EQ(s->SetFormat(0, &bh, sizeof bh), kAviOk);
    }
    return path;
}

// Tens of thousands of chunks in one part: the indexes go out in batches and
// their tables in blocks; every chunk reads back with its size, bytes and flag,
// as one AVI 1.0 part and as OpenDML parts. Empty chunks of audio hold no
// samples and are no entries; empty video chunks stay dropped frames.
TEST(AviWrite, IndexesOfTensOfThousandsOfChunks) {
    constexpr int kChunks = 20000;
    auto frameBytes = [](int i) { return i % 11 == 3 ? 0 : 1 + i % 37; };
    auto audioBytes = [](int i) { return i % 13 == 5 ? 0 : 4 * (1 + i % 5); };
    for (uint64_t partSize : {uint64_t(1) << 30, uint64_t(256) << 10}) {
        SCOPED_TRACE("part size " + std::to_string(partSize));
        TempDir dir;
        const auto out = dir / "many.avi";
        uint64_t audioTotal = 0;
        {
            AviWriteOptions o;
            o.partSize = partSize;
            std::shared_ptr<AviFile> f;
            ASSERT_EQ(AviFile::Create(out.string(), f, o), kAviOk);
            AviStreamInfo vi;
            vi.fccType = kStreamTypeVideo;
            vi.fccHandler = MakeFourCC('F', 'M', 'P', '4');
            vi.dwScale = 1;
            vi.dwRate = 25;
            AviStreamInfo ai;
            ai.fccType = kStreamTypeAudio;
            ai.dwScale = 4;
            ai.dwRate = 4 * 8000;
            ai.dwSampleSize = 4;
            std::shared_ptr<AviStream> v, a;
            ASSERT_EQ(f->CreateStream(v, vi), kAviOk);
            ASSERT_EQ(f->CreateStream(a, ai), kAviOk);
            BitmapInfoHeader bh;
            bh.biWidth = 16;
            bh.biHeight = 16;
            bh.biBitCount = 24;
            bh.biCompression = MakeFourCC('F', 'M', 'P', '4');
            WaveFormatEx wf{kWaveFormatPcm, 2, 8000, 32000, 4, 16, 0};
            ASSERT_EQ(v->SetFormat(0, &bh, sizeof bh), kAviOk);
            ASSERT_EQ(a->SetFormat(0, &wf, sizeof wf), kAviOk);
            std::vector<uint8_t> buf(64);
            for (int i = 0; i < kChunks; ++i) {
                const int n = frameBytes(i);
                for (size_t k = 0; k < buf.size(); ++k) buf[k] = uint8_t(size_t(i) + k);
                ASSERT_EQ(v->Write(-1, 1, buf.data(), n, i % 5 == 0 ? kAviIfKeyFrame : 0, nullptr, nullptr),
                          kAviOk);
                const int m = audioBytes(i);
                ASSERT_EQ(a->Write(-1, 0, buf.data(), m, kAviIfKeyFrame, nullptr, nullptr), kAviOk);
                audioTotal += uint64_t(m);
            }
            v.reset();
            a.reset();
            ASSERT_EQ(f->Finish(), kAviOk);
        }
        std::shared_ptr<AviFile> r;
        ASSERT_EQ(AviFile::Open(out.string(), r), kAviOk);
        std::shared_ptr<AviStream> v, a;
        ASSERT_EQ(r->GetStream(v, kStreamTypeVideo, 0), kAviOk);
        ASSERT_EQ(r->GetStream(a, kStreamTypeAudio, 0), kAviOk);
        ASSERT_EQ(v->Length(), kChunks);
        EXPECT_EQ(uint64_t(a->Length()), audioTotal / 4);
        std::vector<uint8_t> got(64);
        for (int i = 0; i < kChunks; ++i) {
            int32_t bytes = -1, samples = 0;
            ASSERT_EQ(v->Read(i, kAviStreamReadConvenient, got.data(), int32_t(got.size()), &bytes, &samples),
                      kAviOk);
            ASSERT_EQ(bytes, frameBytes(i)) << i;
            for (int k = 0; k < bytes; ++k) ASSERT_EQ(got[size_t(k)], uint8_t(i + k)) << i;
            ASSERT_EQ(v->IsKeyFrame(i), i % 5 == 0) << i;
        }
        // The audio in one piece: the chunks' bytes in order.
        std::vector<uint8_t> audio(static_cast<size_t>(audioTotal));
        std::vector<uint8_t> expect;
        for (int i = 0; i < kChunks; ++i)
            for (int k = 0; k < audioBytes(i); ++k) expect.push_back(uint8_t(i + k));
        int32_t bytes = 0;
        ASSERT_EQ(a->Read(0, a->Length(), audio.data(), int32_t(audio.size()), &bytes, nullptr), kAviOk);
        EXPECT_EQ(audio, expect);
    }
}

// Samples copied from file to file: the bytes of the source's chunks, and a
// sample that cannot be read (its file cut short under the reader) is an
// error that leaves nothing of it in the output, which goes on whole.
TEST(AviWrite, CopySampleFromFileToFile) {
    TempDir dir;
    const auto src = dir / "src.avi", out = dir / "out.avi";
    constexpr int kFrames = 6, kBytes = 40000;
    auto frameByte = [](int i, int k) { return uint8_t(i * 31 + k * 7); };
    AviStreamInfo vi;
    vi.fccType = kStreamTypeVideo;
    vi.fccHandler = MakeFourCC('F', 'M', 'P', '4');
    vi.dwScale = 1;
    vi.dwRate = 25;
    BitmapInfoHeader bh;
    bh.biWidth = 16;
    bh.biHeight = 16;
    bh.biBitCount = 24;
    bh.biCompression = MakeFourCC('F', 'M', 'P', '4');
    {
        std::shared_ptr<AviFile> f;
        ASSERT_EQ(AviFile::Create(src.string(), f), kAviOk);
        std::shared_ptr<AviStream> v;
        ASSERT_EQ(f->CreateStream(v, vi), kAviOk);
        ASSERT_EQ(v->SetFormat(0, &bh, sizeof bh), kAviOk);
        std::vector<uint8_t> buf(kBytes + 1);
        for (int i = 0; i < kFrames; ++i) {
            const int n = kBytes + (i & 1);  // odd sizes are padded
            for (size_t k = 0; k < buf.size(); ++k) buf[k] = frameByte(i, int(k));
            ASSERT_EQ(v->Write(-1, 1, buf.data(), n, i == 0 ? kAviIfKeyFrame : 0, nullptr, nullptr), kAviOk);
        }
        v.reset();
        ASSERT_EQ(f->Finish(), kAviOk);
    }
    std::shared_ptr<AviFile> r;
    ASSERT_EQ(AviFile::Open(src.string(), r), kAviOk);
    std::shared_ptr<AviStream> in;
    ASSERT_EQ(r->GetStream(in, kStreamTypeVideo, 0), kAviOk);
    {
        std::shared_ptr<AviFile> f;
        ASSERT_EQ(AviFile::Create(out.string(), f), kAviOk);
        std::shared_ptr<AviStream> v;
        ASSERT_EQ(f->CreateStream(v, vi), kAviOk);
        ASSERT_EQ(v->SetFormat(0, &bh, sizeof bh), kAviOk);
        int32_t n = 0;
        ASSERT_EQ(v->CopySample(*in, 0, kAviIfKeyFrame, &n), kAviOk);
        EXPECT_EQ(n, 1);
        ASSERT_EQ(v->CopySample(*in, 1, 0, &n), kAviOk);
        EXPECT_EQ(v->CopySample(*in, kFrames, 0, &n), kAviErrBadParam);
        // The source loses its last frames: reading them fails, the output goes on.
        std::filesystem::resize_file(src, std::filesystem::file_size(src) - 2 * (kBytes + 8) - 500);
        EXPECT_EQ(v->CopySample(*in, kFrames - 1, 0, &n), kAviErrFileRead);
        EXPECT_EQ(n, 0);
        ASSERT_EQ(v->CopySample(*in, 2, 0, &n), kAviOk);
        v.reset();
        ASSERT_EQ(f->Finish(), kAviOk);
    }
    std::shared_ptr<AviFile> o;
    ASSERT_EQ(AviFile::Open(out.string(), o), kAviOk);
    std::shared_ptr<AviStream> v;
    ASSERT_EQ(o->GetStream(v, kStreamTypeVideo, 0), kAviOk);
    ASSERT_EQ(v->Length(), 3);
    std::vector<uint8_t> got(kBytes + 1);
    for (int i = 0; i < 3; ++i) {
        int32_t bytes = 0;
        ASSERT_EQ(v->Read(i, 1, got.data(), int32_t(got.size()), &bytes, nullptr), kAviOk);
        ASSERT_EQ(bytes, kBytes + (i & 1));
        for (int k = 0; k < bytes; ++k) ASSERT_EQ(got[size_t(k)], frameByte(i, k)) << i << " " << k;
    }
    EXPECT_TRUE(v->IsKeyFrame(0));
    EXPECT_FALSE(v->IsKeyFrame(1));
    // Nothing of the failed copy is left past the end of the file.
    const auto bytes = ReadFile(out);
    EXPECT_EQ(uint64_t(GetU32LE(&bytes[4])) + 8, bytes.size());
}

TEST(AviWrite, PriorityAndHandlerSubstitution) {
    TempDir dir;
    struct Case {
        uint16_t p0, p1;
        int width;  // of the stream chosen
    };
    for (const Case& c : {Case{1, 0, 17}, Case{0, 1, 16}, Case{2, 2, 16}}) {
        auto path = WriteSynthetic(dir.path(), c.p0, c.p1);
        CDecAVI r;
        ASSERT_EQ(r.Open(path.string()), 0);
        EXPECT_EQ(r.GetWidth(), c.width);
        EXPECT_EQ(r.GetLength(), 0);
        uint32_t handler = r.GetVideoInfo()->fccHandler;
        EXPECT_EQ(handler, c.width == 16 ? MakeFourCC('N', 'o', 'n', 'e') : MakeFourCC('R', 'l', 'e', '8'));
        EXPECT_EQ(r.HandlerText(), c.width == 16 ? "None" : "Rle8");
        EXPECT_EQ(r.CompressionText(), "None");
        EXPECT_EQ(r.TypeText(), "vids");
        BitmapInfoHeader h;
        EXPECT_EQ(r.GetDIBHeader(&h), &h);
        r.Close();
        r.Close();
    }
}

TEST(AviWrite, WriterBehaviour) {
    auto src = AviMsmpegPcm();
    TempDir dir;
    auto out = dir / "w.avi";
    WriteFile(out, {9, 9, 9});
    ::chmod(out.c_str(), 0444);  // read-only: replaced all the same
    CDecAVIAudio r;
    ASSERT_EQ(r.Open(src.string()), 0);
    void* fmt = nullptr;
    int fmtSize = 0;
    ASSERT_EQ(r.ReadVideoFormat(&fmt, &fmtSize), 0);
    CEncAVIAudio w;
    ASSERT_EQ(w.CreateVideoStream(out.string(), *r.GetVideoInfo(), fmt, fmtSize), 0);
    std::free(fmt);
    ASSERT_EQ(w.CreateAudioStream(r.GetAudioFormat(), *r.GetAudioInfo()), 0);
    EXPECT_TRUE(w.AudioCreated());
    // An empty sample advances the position by its count.
    EXPECT_EQ(w.WriteVideoSamples(1, nullptr, 0, 0), 0);
    EXPECT_EQ(w.GetVideoPosition(), 1);
    // 4096 bytes of 16-bit stereo are 1024 samples.
    std::vector<uint8_t> pcm(4096, 0);
    int samples = 0, bytes = 4096;
    ASSERT_EQ(w.WriteAudio(samples, pcm.data(), bytes), 0);
    EXPECT_EQ(samples, 1024);
    EXPECT_EQ(bytes, 4096);
    EXPECT_EQ(w.GetAudioPosition(), 1024);
    // A range copy stops at its end (not at the end of the copy buffer), and a
    // start at or past the source's length copies nothing.
    ASSERT_EQ(w.CopyAudio(100, 1100, r.GetAudioStream()), 0);
    EXPECT_EQ(w.GetAudioPosition(), 2024);
    ASSERT_EQ(w.CopyAudio(r.GetAudioLength(), r.GetAudioLength() + 10, r.GetAudioStream()), 0);
    EXPECT_EQ(w.GetAudioPosition(), 2024);
    w.Close();
    EXPECT_EQ(w.LastCloseResult(), 0);
    w.Close();
    EXPECT_EQ(RawAudioBytes(out, "s16le"), 2024u * 4);
    EXPECT_EQ(Probe(out, "v:0", "nb_frames"), "1");
    // With a path the audio stream starts a new file of its own.
    auto audioOnly = dir / "a.avi";
    ASSERT_EQ(w.CreateAudioStream(r.GetAudioFormat(), *r.GetAudioInfo(), audioOnly.string()), 0);
    ASSERT_EQ(w.CopyAudio(0, 500, r.GetAudioStream()), 0);
    w.Close();
    EXPECT_EQ(StreamCount(audioOnly, "video"), 0);
    EXPECT_EQ(RawAudioBytes(audioOnly, "s16le"), 500u * 4);
    // Writing on a closed writer fails.
    EXPECT_EQ(w.WriteVideoSamples(1, "x", 1, 1), kErrAviStreamWrite);
    samples = 0;
    bytes = 4;
    EXPECT_EQ(w.WriteAudio(samples, "abcd", bytes), 2006);
    // No file can be made there.
    EXPECT_EQ(w.CreateVideoStream((dir / "no/such/dir.avi").string(), *r.GetVideoInfo(), nullptr, 0),
              kErrAviCreate);
}

// A source sample that cannot be read: the host is asked; OK stops with
// 2107, Cancel skips the sample.
TEST(AviWrite, CopyAudioReadFailureAsksTheHost) {
    TempDir dir;
    auto src = dir / "src.avi";
    // Large enough that the reader's buffer does not hold the whole file.
    fs::copy_file(MakeFixture("long_mp3.avi",
                              "-f lavfi -i testsrc=size=320x240:rate=25:duration=8 "
                              "-f lavfi -i sine=sample_rate=22050:duration=8 "
                              "-c:v mpeg4 -q:v 2 -c:a libmp3lame -q:a 4"),
                  src);
    CDecAVIAudio r;
    ASSERT_EQ(r.Open(src.string()), 0);
    int length = r.GetAudioLength();
    ASSERT_GT(length, 20);
    // Cut the file after opening: the last packets can no longer be read.
    fs::resize_file(src, fs::file_size(src) * 8 / 10);
    for (bool ok : {true, false}) {
        CEncAVIAudio w;
        auto out = dir / (ok ? "ok.avi" : "cancel.avi");
        ASSERT_EQ(w.CreateAudioStream(r.GetAudioFormat(), *r.GetAudioInfo(), out.string()), 0);
        RecordingHost host;
        host.answerOk = ok;
        int result = w.CopyAudio(0, length, r.GetAudioStream(), &host);
        EXPECT_EQ(result, ok ? kErrAviAudioReadWrite : 0);
        EXPECT_GE(host.questions, 1);
        if (ok) {
            EXPECT_EQ(host.questions, 1);
        }
        // Every readable packet before the cut was copied; with Cancel, each
        // unreadable one was skipped.
        EXPECT_EQ(w.GetAudioPosition() + (ok ? 0 : host.questions), ok ? w.GetAudioPosition() : length);
        EXPECT_GT(w.GetAudioPosition(), 10);
        w.Close();
    }
}

// PCM audio goes from file to file a chunk's range at a time: a block that
// runs into bytes the file no longer holds is not kept, however much of it
// was copied, and the output holds whole blocks of the source's audio before
// it.
TEST(AviWrite, CopyAudioOfPcmKeepsWholeBlocksAtAReadFailure) {
    TempDir dir;
    auto src = dir / "src.avi";
    const auto fixture = MakeFixture("long_pcm.avi",
                                     "-f lavfi -i testsrc=size=320x240:rate=25:duration=8 "
                                     "-f lavfi -i sine=sample_rate=48000:duration=8 "
                                     "-c:v mpeg4 -q:v 2 -c:a pcm_s16le -ac 2");
    fs::copy_file(fixture, src);
    CDecAVIAudio r;
    ASSERT_EQ(r.Open(src.string()), 0);
    const int length = r.GetAudioLength();
    ASSERT_EQ(length, 8 * 48000);
    fs::resize_file(src, fs::file_size(src) * 8 / 10);
    CEncAVIAudio w;
    auto out = dir / "out.avi";
    ASSERT_EQ(w.CreateAudioStream(r.GetAudioFormat(), *r.GetAudioInfo(), out.string()), 0);
    RecordingHost host;
    host.answerOk = true;
    EXPECT_EQ(w.CopyAudio(0, length, r.GetAudioStream(), &host), kErrAviAudioReadWrite);
    EXPECT_EQ(host.questions, 1);
    // Blocks of 400000 bytes: 100000 samples.
    const int copied = w.GetAudioPosition();
    EXPECT_GE(copied, 100000);
    EXPECT_EQ(copied % 100000, 0);
    w.Close();
    ASSERT_EQ(w.LastCloseResult(), 0);
    const auto bytes = ReadFile(out);
    EXPECT_EQ(uint64_t(GetU32LE(&bytes[4])) + 8, bytes.size());
    // The output's audio is the source's, up to there.
    EXPECT_EQ(StereoPcmOf(out, copied), StereoPcmOf(fixture, copied));
}

}  // namespace
}  // namespace vt::test
