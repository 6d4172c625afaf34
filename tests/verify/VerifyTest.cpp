// Verified outputs: `vantorel-cli --verify` passes on every operation of small
// ffmpeg-made fixtures of all five formats, and the check itself finds a byte
// flipped inside a packet of an output, a packet missing and a packet too many.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "flv/FlvFile.h"
#include "media/avi/DecMovie.h"
#include "media/avi/EncAVI.h"
#include "media/wm/DecCompWMV.h"
#include "ops/PageTable.h"
#include "tests/common/TestSupport.h"
#include "verify/VerifyOutput.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::MakeFixture;
using test::Q;

const std::string kPicture = "-f lavfi -i testsrc=size=96x64:rate=25:duration=2 ";
const std::string kPicture2 = "-f lavfi -i testsrc2=size=96x64:rate=25:duration=2 ";
const std::string kTone = "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=2 ";
const std::string kTone2 = "-f lavfi -i sine=frequency=660:sample_rate=22050:duration=2 ";

// The fixtures, by name.
fs::path Fixture(const std::string& name) {
    struct Made {
        const char* name;
        std::string args;
    };
    static const Made kMade[] = {
        // AVI: MP3 (ffmpeg stores it a frame a chunk), PCM, variable bit-rate MP3.
        {"verify_mp3.avi", kPicture + kTone + "-c:v mpeg4 -g 10 -c:a libmp3lame -b:a 64k -shortest"},
        {"verify_mp3_b.avi", kPicture2 + kTone2 + "-c:v mpeg4 -g 10 -c:a libmp3lame -b:a 64k -shortest"},
        {"verify_pcm.avi", kPicture + kTone + "-c:v msmpeg4 -g 12 -c:a pcm_s16le -ac 2 -shortest"},
        {"verify_vbr.avi", kPicture + kTone + "-c:v mpeg4 -g 10 -c:a libmp3lame -q:a 4 -shortest"},
        {"verify_a.wav", kTone + "-c:a pcm_s16le"},
        {"verify_b.wav", kTone2 + "-c:a pcm_s16le"},
        {"verify_mp3.wav", kTone + "-c:a libmp3lame -b:a 64k"},
        {"verify_a.wmv", "-f lavfi -i testsrc=size=160x120:rate=15:duration=2 " + kTone +
                             "-c:v wmv2 -b:v 200k -g 15 -c:a wmav2 -b:a 64k"},
        {"verify_b.wmv", "-f lavfi -i testsrc2=size=160x120:rate=15:duration=2 " + kTone2 +
                             "-c:v wmv2 -b:v 200k -g 15 -c:a wmav2 -b:a 64k"},
        {"verify_a.wma", "-f lavfi -i sine=frequency=550:sample_rate=44100:duration=2 -c:a wmav2 -b:a 64k"},
        {"verify_h263.flv", kPicture + kTone + "-c:v flv1 -g 12 -q:v 8 -c:a libmp3lame -b:a 64k -ar 22050"},
        {"verify_h263_b.flv",
         kPicture2 + kTone2 + "-c:v flv1 -g 12 -q:v 8 -c:a libmp3lame -b:a 64k -ar 22050"},
        {"verify_h264.flv",
         kPicture + kTone + "-c:v libx264 -preset veryfast -g 12 -pix_fmt yuv420p -c:a aac -b:a 64k"},
    };
    for (const Made& m : kMade)
        if (name == m.name) return MakeFixture(m.name, m.args);
    ADD_FAILURE() << "no fixture " << name;
    return {};
}

struct Case {
    const char* name;
    int format;
    Operation operation;
    SeparateStream stream;
    std::vector<std::string> inputs;  // fixture names
    const char* output;               // file name in the test's folder
    std::optional<int64_t> startMs, endMs;
    // The check's words (English) for the output of this case, when it passes.
    const char* verified;
};

// Milliseconds as the command line takes them: S.mmm.
std::string Seconds(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return text;
}

std::string CliArgs(const Case& c, const fs::path& dir) {
    static const char* kFormat[] = {"avi", "wav", "wmv", "wma", "flv"};
    std::string a =
        std::string("--format ") + kFormat[c.format] + " " + std::string(OperationName(c.operation));
    if (c.stream != SeparateStream::None) a += c.stream == SeparateStream::Video ? " --video" : " --audio";
    for (const std::string& in : c.inputs) a += " " + Q(Fixture(in));
    if (c.startMs) a += " --start " + Seconds(*c.startMs);
    if (c.endMs) a += " --end " + Seconds(*c.endMs);
    return a + " -o " + Q(dir / c.output);
}

OpJob JobOf(const Case& c, const fs::path& output) {
    OpJob job;
    job.operation = c.operation;
    job.stream = c.stream;
    for (const std::string& in : c.inputs) job.inputs.push_back(Fixture(in).string());
    job.output = output.string();
    job.start = FromMilliseconds(c.startMs.value_or(0));
    if (c.endMs) job.end = FromMilliseconds(*c.endMs);
    return job;
}

test::CommandResult Cli(const std::string& args) {
    return test::Run("LC_ALL=C.UTF-8 " + Q(VT_CLI_PATH) + " --lang en --quiet " + args + " 2>&1 </dev/null");
}

using S = SeparateStream;
using O = Operation;

const Case kCases[] = {
    {"avi_separate_video",
     kFormatAvi,
     O::Separate,
     S::Video,
     {"verify_mp3.avi"},
     "v.avi",
     {},
     {},
     "video and 0 audio"},
    {"avi_separate_audio",
     kFormatAvi,
     O::Separate,
     S::Audio,
     {"verify_pcm.avi"},
     "a.wav",
     {},
     {},
     "bytes of audio"},
    {"avi_union",
     kFormatAvi,
     O::Union,
     S::None,
     {"verify_mp3.avi", "verify_a.wav"},
     "u.avi",
     {},
     {},
     "bytes of audio"},
    {"avi_join_mp3",
     kFormatAvi,
     O::Join,
     S::None,
     {"verify_mp3.avi", "verify_mp3_b.avi"},
     "j.avi",
     {},
     {},
     "audio packets"},
    {"avi_join_vbr",
     kFormatAvi,
     O::Join,
     S::None,
     {"verify_vbr.avi", "verify_vbr.avi"},
     "j.avi",
     {},
     {},
     "audio packets"},
    {"avi_extract_mp3",
     kFormatAvi,
     O::Extract,
     S::None,
     {"verify_mp3.avi"},
     "e.avi",
     700,
     1500,
     "audio packets"},
    {"avi_extract_pcm",
     kFormatAvi,
     O::Extract,
     S::None,
     {"verify_pcm.avi"},
     "e.avi",
     300,
     {},
     "bytes of audio"},
    {"wav_join",
     kFormatWav,
     O::Join,
     S::None,
     {"verify_a.wav", "verify_b.wav"},
     "j.wav",
     {},
     {},
     "bytes of audio"},
    {"wav_join_avi_audio",
     kFormatWav,
     O::Join,
     S::None,
     {"verify_pcm.avi", "verify_pcm.avi"},
     "j.wav",
     {},
     {},
     "bytes of audio"},
    {"wav_extract", kFormatWav, O::Extract, S::None, {"verify_a.wav"}, "e.wav", 300, 1200, "bytes of audio"},
    {"wav_extract_mp3",
     kFormatWav,
     O::Extract,
     S::None,
     {"verify_mp3.wav"},
     "e.wav",
     300,
     1200,
     "bytes of audio"},
    {"wmv_separate_video",
     kFormatWmv,
     O::Separate,
     S::Video,
     {"verify_a.wmv"},
     "v.wmv",
     {},
     {},
     "video and 0 audio"},
    {"wmv_separate_audio",
     kFormatWmv,
     O::Separate,
     S::Audio,
     {"verify_a.wmv"},
     "a.wma",
     {},
     {},
     "0 video and"},
    {"wmv_union",
     kFormatWmv,
     O::Union,
     S::None,
     {"verify_a.wmv", "verify_a.wma"},
     "u.wmv",
     {},
     {},
     "audio packets"},
    {"wmv_join",
     kFormatWmv,
     O::Join,
     S::None,
     {"verify_a.wmv", "verify_b.wmv"},
     "j.wmv",
     {},
     {},
     "audio packets"},
    {"wmv_extract", kFormatWmv, O::Extract, S::None, {"verify_a.wmv"}, "e.wmv", 700, 1500, "audio packets"},
    {"wma_join",
     kFormatWma,
     O::Join,
     S::None,
     {"verify_a.wma", "verify_a.wma"},
     "j.wma",
     {},
     {},
     "audio packets"},
    {"wma_extract", kFormatWma, O::Extract, S::None, {"verify_a.wma"}, "e.wma", 500, {}, "audio packets"},
    {"flv_separate_video_h263",
     kFormatFlv,
     O::Separate,
     S::Video,
     {"verify_h263.flv"},
     "v.avi",
     {},
     {},
     "video and 0 audio"},
    {"flv_separate_video_h264",
     kFormatFlv,
     O::Separate,
     S::Video,
     {"verify_h264.flv"},
     "v.avi",
     {},
     {},
     "video and 0 audio"},
    {"flv_separate_audio_mp3",
     kFormatFlv,
     O::Separate,
     S::Audio,
     {"verify_h263.flv"},
     "a.mp3",
     {},
     {},
     "bytes of audio"},
    {"flv_separate_audio_aac",
     kFormatFlv,
     O::Separate,
     S::Audio,
     {"verify_h264.flv"},
     "a.aac",
     {},
     {},
     "audio packets"},
    {"flv_join",
     kFormatFlv,
     O::Join,
     S::None,
     {"verify_h263.flv", "verify_h263_b.flv"},
     "j.flv",
     {},
     {},
     "audio packets"},
    {"flv_extract",
     kFormatFlv,
     O::Extract,
     S::None,
     {"verify_h263.flv"},
     "e.flv",
     700,
     1500,
     "audio packets"},
    {"flv_extract_h264",
     kFormatFlv,
     O::Extract,
     S::None,
     {"verify_h264.flv"},
     "e.flv",
     700,
     {},
     "audio packets"},
};

// A section that begins after the last frame writes an FLV file with no tags:
// nothing was meant to be copied, and the check says so rather than failing
// to open the output.
TEST(VerifyCli, AnFlvSectionPastTheLastFrameIsVerifiedEmpty) {
    test::TempDir dir;
    const test::CommandResult r =
        Cli("--verify extract " + Q(Fixture("verify_h263.flv")) + " --start 600 -o " + Q(dir / "e.flv"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("verified: 0 video and 0 audio"), std::string::npos) << r.out;
}

TEST(VerifyCli, EveryOperationOfEveryFormatIsVerified) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const test::CommandResult r = Cli("--verify " + CliArgs(c, dir.path()));
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("verified: "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.verified), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("identical to the inputs"), std::string::npos) << r.out;
        // Something was compared.
        EXPECT_EQ(r.out.find("verified: 0 video and 0 audio"), std::string::npos) << r.out;
    }
}

TEST(VerifyCli, OptionsAndHelp) {
    test::TempDir dir;
    const test::CommandResult dry =
        Cli("extract --verify --dry-run " + Q(Fixture("verify_a.wav")) + " -o " + Q(dir / "x.wav"));
    EXPECT_EQ(dry.status, 2) << dry.out;
    EXPECT_FALSE(fs::exists(dir / "x.wav"));
    const test::CommandResult help = Cli("--help");
    EXPECT_NE(help.out.find("--verify"), std::string::npos);
    EXPECT_NE(help.out.find("verified: N video and M audio"), std::string::npos);
    // Without --verify nothing is checked or printed.
    const test::CommandResult plain = Cli("join " + Q(Fixture("verify_a.wav")) + " -o " + Q(dir / "y.wav"));
    EXPECT_EQ(plain.status, 0) << plain.out;
    EXPECT_EQ(plain.out.find("verified"), std::string::npos) << plain.out;
}

// ---------------------------------------------------------------- the check finds differences

std::vector<uint8_t> Bytes(std::span<const uint8_t> s) {
    return {s.begin(), s.end()};
}

// The bytes of a packet from the middle of the output, as our readers give it.
std::vector<uint8_t> SomePacket(const fs::path& file) {
    const std::string ext = file.extension().string();
    if (ext == ".avi") {
        CDecAVI r;
        if (r.Open(file.string()) != 0) return {};
        CMemBuffBase<unsigned char> buffer;
        for (int p = r.GetLength() / 2; p < r.GetLength(); ++p) {
            int samples = 0, bytes = 0;
            if (r.ReadVideoSample(p, &samples, buffer, &bytes) == 0 && bytes >= 32)
                return Bytes(std::span<const uint8_t>(buffer.GetData(), size_t(bytes)));
        }
        return {};
    }
    if (ext == ".flv") {
        CFlvFile f;
        if (f.Open(file.string()) != 0) return {};
        std::vector<uint8_t> data;
        size_t seen = 0;
        for (const FlvTag& t : f.Tags())
            if (t.IsMediaFrame() && t.size >= 32 && ++seen > 5 && f.ReadTagData(t, data)) return data;
        return {};
    }
    if (ext == ".wmv" || ext == ".wma") {
        struct Pick {
            std::vector<std::vector<uint8_t>> samples;
        } pick;
        CDecCompWMV r;
        r.SetDiagnosticSink([](const std::string&) {});
        if (r.Open(file.string(), 0, 0) != 0) return {};
        r.SetSampleCallback(
            [](uint16_t, uint64_t, uint64_t, uint32_t, const AsfSampleBuffer* s, void*,
               void* user) -> AsfResult {
                if (s && s->Length() >= 32) static_cast<Pick*>(user)->samples.push_back(s->ToVector());
                return asf::kOk;
            },
            &pick);
        r.Run();
        // A sample from the middle that lies in one piece in the file.
        const std::vector<uint8_t> file_bytes = test::ReadFile(file);
        for (size_t i = pick.samples.size() / 2; i < pick.samples.size(); ++i) {
            const auto& s = pick.samples[i];
            if (std::search(file_bytes.begin(), file_bytes.end(), s.begin(), s.end()) != file_bytes.end())
                return s;
        }
        return {};
    }
    return {};
}

// Flips a byte in the middle of the first place of the file that holds
// `packet`; without a packet (WAV, MP3, AAC: all data), the byte two thirds
// into the file. False when the packet is not in the file.
bool FlipByteInsidePacket(const fs::path& file, const std::vector<uint8_t>& packet) {
    std::vector<uint8_t> bytes = test::ReadFile(file);
    size_t at = bytes.size() * 2 / 3;
    if (!packet.empty()) {
        const auto it = std::search(bytes.begin(), bytes.end(), packet.begin(), packet.end());
        if (it == bytes.end()) return false;
        at = size_t(it - bytes.begin()) + packet.size() / 2;
    }
    bytes[at] ^= 0x5A;
    test::WriteFile(file, bytes);
    return true;
}

TEST(VerifyOutput, AFlippedByteInsideAPacketIsNamed) {
    struct Tamper {
        const char* caseName;
        bool locatePacket;       // find a packet's bytes in the file (else: all data)
        const char* difference;  // words the first difference must hold
    };
    const Tamper kTampers[] = {
        {"avi_extract_mp3", true, "video packet "},
        {"avi_separate_audio", false, "audio data: the bytes "},
        {"wav_join", false, "audio data: the bytes "},
        {"wmv_join", true, "packet "},
        {"wma_extract", true, "stream 1 (audio) packet "},
        {"flv_join", true, "packet "},
        {"flv_separate_video_h264", true, "video packet "},
        {"flv_separate_audio_mp3", false, "audio data: the bytes "},
        {"flv_separate_audio_aac", false, "audio packet "},
    };
    for (const Tamper& t : kTampers) {
        SCOPED_TRACE(t.caseName);
        const Case& c = *std::find_if(std::begin(kCases), std::end(kCases),
                                      [&](const Case& k) { return std::string(k.name) == t.caseName; });
        test::TempDir dir;
        const test::CommandResult r = Cli(CliArgs(c, dir.path()));
        ASSERT_EQ(r.status, 0) << r.out;
        const fs::path out = dir / c.output;
        const OpJob job = JobOf(c, out);
        // The untouched output passes the library's check as the command line's.
        const VerifyResult good = VerifyOutput(job, c.format);
        EXPECT_TRUE(good.ok) << good.difference;

        ASSERT_TRUE(FlipByteInsidePacket(out, t.locatePacket ? SomePacket(out) : std::vector<uint8_t>()));
        const VerifyResult bad = VerifyOutput(job, c.format);
        EXPECT_FALSE(bad.ok);
        EXPECT_FALSE(bad.stopped);
        EXPECT_NE(bad.difference.find(t.difference), std::string::npos) << bad.difference;
        EXPECT_NE(bad.difference.find("differ"), std::string::npos) << bad.difference;
        EXPECT_EQ(bad.Summary().rfind("not verified: ", 0), 0u) << bad.Summary();
    }
}

TEST(VerifyOutput, MissingAndExtraPacketsAreNamed) {
    // The output of one range checked against the job of another: packets
    // the output lacks, or holds beyond what the job copies.
    struct Mismatch {
        const char* name;
        int format;
        const char* input;
        const char* output;
        int64_t writtenEndMs, checkedEndMs;
        const char* difference;
    };
    const Mismatch kMismatches[] = {
        {"avi_missing", kFormatAvi, "verify_pcm.avi", "e.avi", 1000, 1600, "video packet 27 is missing"},
        {"avi_extra", kFormatAvi, "verify_pcm.avi", "e.avi", 1600, 1000, "video packet 27 is extra"},
        {"flv_missing", kFormatFlv, "verify_h263.flv", "e.flv", 1000, 1600, "is missing"},
        {"wmv_extra", kFormatWmv, "verify_a.wmv", "e.wmv", 1600, 1000, "is extra"},
        {"wav_missing", kFormatWav, "verify_a.wav", "e.wav", 1000, 1600, "the output ends at byte"},
    };
    for (const Mismatch& m : kMismatches) {
        SCOPED_TRACE(m.name);
        test::TempDir dir;
        Case c{m.name, m.format, O::Extract, S::None, {m.input}, m.output, 0, m.writtenEndMs, ""};
        const test::CommandResult r = Cli(CliArgs(c, dir.path()));
        ASSERT_EQ(r.status, 0) << r.out;
        c.endMs = m.checkedEndMs;
        const VerifyResult v = VerifyOutput(JobOf(c, dir / m.output), m.format);
        EXPECT_FALSE(v.ok);
        EXPECT_NE(v.difference.find(m.difference), std::string::npos) << v.difference;
    }
}

TEST(VerifyOutput, AKeyFrameFlagLostOnTheWayIsNamed) {
    // The video of an AVI file copied by hand, as a faulty separation would:
    // every frame's bytes as they are, but frame 3 (none) marked a key frame.
    const fs::path in = Fixture("verify_pcm.avi");
    test::TempDir dir;
    const fs::path out = dir / "v.avi";
    {
        CDecAVI r;
        ASSERT_EQ(r.Open(in.string()), 0);
        ASSERT_FALSE(r.IsKeyFrame(3));
        void* format = nullptr;
        int formatSize = 0;
        ASSERT_EQ(r.ReadVideoFormat(&format, &formatSize), 0);
        CEncAVI w(NoAviSettingStore());
        const int created = w.CreateVideoStream(out.string(), *r.GetVideoInfo(), format, formatSize);
        std::free(format);
        ASSERT_EQ(created, 0);
        CMemBuffBase<unsigned char> buffer;
        for (int p = 0; p < r.GetLength(); ++p) {
            int samples = 0, bytes = 0;
            ASSERT_EQ(r.ReadVideoSample(p, &samples, buffer, &bytes), 0);
            ASSERT_EQ(w.WriteVideoSamples(1, buffer.GetData(), bytes, r.IsKeyFrame(p) || p == 3), 0);
        }
        w.Close();
        ASSERT_EQ(w.LastCloseResult(), 0);
    }
    OpJob job;
    job.operation = Operation::Separate;
    job.stream = SeparateStream::Video;
    job.inputs = {in.string()};
    job.output = out.string();
    const VerifyResult v = VerifyOutput(job, kFormatAvi);
    EXPECT_FALSE(v.ok);
    EXPECT_EQ(v.difference,
              "video packet 4: the key-frame flag differs (input: not a key frame, output: key frame)");
}

TEST(VerifyOutput, UnreadableOutputAndStopAreNotVerified) {
    test::TempDir dir;
    Case c = kCases[0];
    // No output at all.
    VerifyResult v = VerifyOutput(JobOf(c, dir / "none.avi"), c.format);
    EXPECT_FALSE(v.ok);
    EXPECT_NE(v.difference.find("none.avi"), std::string::npos) << v.difference;
    // A pump that stops at once.
    ASSERT_EQ(Cli(CliArgs(c, dir.path())).status, 0);
    v = VerifyOutput(JobOf(c, dir / c.output), c.format, [] { return false; });
    EXPECT_FALSE(v.ok);
    EXPECT_TRUE(v.stopped);
}

}  // namespace
}  // namespace vt
