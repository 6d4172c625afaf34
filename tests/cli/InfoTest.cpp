// `vantorel-cli info` against ffprobe, and `extract --dry-run` against the run
// it describes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <regex>
#include <string>

#include "core/ErrorCodes.h"
#include "flv/FlvErrors.h"
#include "tests/common/TestSupport.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::MakeFixture;
using test::Q;

const std::string kVideo = "-f lavfi -i testsrc=size=160x120:rate=25:duration=4 ";
const std::string kTone = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=4 ";

test::CommandResult Cli(const std::string& args) {
    return test::Run("LC_ALL=C.UTF-8 " + Q(VT_CLI_PATH) + " --lang en " + args + " 2>/dev/null </dev/null");
}

// The number after "key": in a flat search of the JSON text (the first one).
double JsonNumber(const std::string& json, const std::string& key, size_t from = 0) {
    const size_t at = json.find("\"" + key + "\": ", from);
    if (at == std::string::npos) return NAN;
    return std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// JSON that python's parser takes.
bool ParsesAsJson(const std::string& json) {
    test::TempDir dir;
    const fs::path f = dir / "out.json";
    test::WriteFile(f, std::vector<uint8_t>(json.begin(), json.end()));
    return test::Run("python3 -m json.tool " + Q(f) + " >/dev/null 2>&1").status == 0;
}

struct Oracle {
    double duration;
    int streams;
    int keyFrames;
};

Oracle Probe(const fs::path& f) {
    Oracle o{};
    o.duration = std::strtod(
        test::Run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Q(f)).out.c_str(), nullptr);
    o.streams = test::StreamCount(f, "video") + test::StreamCount(f, "audio");
    auto k = test::Run("ffprobe -v error -select_streams v -show_entries packet=flags -of csv=p=0 " + Q(f) +
                       " | grep -c K");
    o.keyFrames = std::atoi(k.out.c_str());
    return o;
}

void ExpectAgrees(const fs::path& f, double tolerance) {
    SCOPED_TRACE(f.string());
    auto r = Cli("info --json --keyframes " + Q(f));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(ParsesAsJson(r.out)) << r.out;
    const Oracle o = Probe(f);
    EXPECT_NEAR(JsonNumber(r.out, "duration"), o.duration, tolerance) << r.out;
    EXPECT_EQ(Count(r.out, "\"index\": "), o.streams) << r.out;
    EXPECT_EQ(JsonNumber(r.out, "key_frames"), o.keyFrames) << r.out;
    // --keyframes lists as many times as it counts.
    const size_t times = r.out.find("\"key_frame_times\": [");
    if (o.keyFrames > 0) {
        ASSERT_NE(times, std::string::npos);
        const std::string list = r.out.substr(times, r.out.find(']', times) - times);
        EXPECT_EQ(Count(list, ",") + 1, o.keyFrames) << list;
    }
}

TEST(CliInfo, AgreesWithTheOracleOnEachFormat) {
    struct Case {
        const char* name;
        std::string args;
        double tolerance;  // seconds: the containers state durations at different precisions
    } cases[] = {
        {"info_mpeg4_pcm.avi", kVideo + kTone + "-c:v mpeg4 -g 25 -c:a pcm_s16le -shortest", 0.05},
        {"info_tone.wav", kTone + "-c:a pcm_s16le", 0.002},
        {"info_wmv2.wmv", kVideo + kTone + "-c:v wmv2 -g 25 -c:a wmav2 -b:a 64k -shortest", 0.1},
        {"info_wma.wma", kTone + "-c:a wmav2 -b:a 64k", 0.1},
        {"info_h263_mp3.flv", kVideo + kTone + "-c:v flv1 -g 12 -c:a libmp3lame -b:a 64k -ar 44100 -shortest",
         0.1},
    };
    for (const Case& c : cases) {
        const fs::path f = MakeFixture(c.name, c.args);
        ASSERT_FALSE(f.empty());
        ExpectAgrees(f, c.tolerance);
    }
}

TEST(CliInfo, AgreesOnFilesOfOtherPrograms) {
    int seen = 0;
    for (const char* name :
         {"tls__sample.avi", "moon__timecode-short-wmv8.wmv", "mm__riff_adobe_audition.wav"}) {
        const fs::path f = test::SamplePath(name);
        if (f.empty()) continue;
        ++seen;
        ExpectAgrees(f, 0.1);
    }
    if (seen == 0) GTEST_SKIP() << "no sample folder";
}

// Flash files cut short keep the metadata of the whole recording: the duration
// is the frames', and the metadata's own figure is given beside it (ffprobe
// reports the metadata's).
TEST(CliInfo, FlvMetadataThatTheFramesDoNotReach) {
    struct Case {
        const char* name;
        double frames;  // where the last frame ends
        bool stated;    // the metadata disagrees by more than a second
    } cases[] = {
        {"et__Flash.flv", 0.05, true}, {"hc__breakdance.flv", 1.9, true}, {"fla__zelda.flv", 29.8, false}};
    int seen = 0;
    for (const Case& c : cases) {
        const fs::path f = test::SamplePath(c.name);
        if (f.empty()) continue;
        ++seen;
        SCOPED_TRACE(c.name);
        auto r = Cli("info --json " + Q(f));
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_TRUE(ParsesAsJson(r.out)) << r.out;
        EXPECT_NEAR(JsonNumber(r.out, "duration"), c.frames, 0.1) << r.out;
        EXPECT_EQ(r.out.find("\"stated_duration\": ") != std::string::npos, c.stated) << r.out;
        if (c.stated) {
            EXPECT_NEAR(JsonNumber(r.out, "stated_duration"), Probe(f).duration, 0.001) << r.out;
            EXPECT_NE(Cli("info " + Q(f)).out.find("(the metadata says "), std::string::npos);
        }
    }
    if (seen == 0) GTEST_SKIP() << "no sample folder";
}

TEST(CliInfo, SeveralFilesAndErrors) {
    const fs::path a = MakeFixture("info_tone.wav", kTone + "-c:a pcm_s16le");
    test::TempDir dir;
    const fs::path bad = dir / "bad.avi";
    test::WriteFile(bad, {'R', 'I', 'F', 'F', 1, 0, 0, 0, 'A', 'V', 'I', ' ', 0});
    // One object per file; a file that cannot be read gives its error and exit 1.
    auto r = Cli("info --json " + Q(a) + " " + Q(bad) + " " + Q(dir / "missing.flv"));
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(ParsesAsJson(r.out)) << r.out;
    EXPECT_EQ(Count(r.out, "\"file\": "), 3);
    EXPECT_EQ(Count(r.out, "\"error\": "), 2);
    // The text form names the streams; usage errors exit 2.
    r = Cli("info " + Q(a));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("audio PCM"), std::string::npos) << r.out;
    EXPECT_NE(Cli("info").status, 0);
    EXPECT_NE(Cli("info --bogus " + Q(a)).status, 0);
    EXPECT_NE(Cli("join --dry-run " + Q(a)).status, 0);
}

// The start a dry run prints, as seconds.
double DryStart(const std::string& out) {
    std::smatch m;
    if (!std::regex_search(out, m, std::regex("start: ([0-9.]+)"))) return NAN;
    return std::stod(m[1]);
}

TEST(CliDryRun, WritesNothingAndPrintsTheStartTheRunUses) {
    struct Case {
        const char* name;
        std::string args;
        const char* start;
        double expected;  // the key frame before the start: every 25th frame at 25 fps, every 12th for FLV
    } cases[] = {
        {"info_mpeg4_pcm.avi", kVideo + kTone + "-c:v mpeg4 -g 25 -c:a pcm_s16le -shortest", "2.5", 2.0},
        {"info_wmv2.wmv", kVideo + kTone + "-c:v wmv2 -g 25 -c:a wmav2 -b:a 64k -shortest", "2.5", 2.0},
        {"info_h263_mp3.flv", kVideo + kTone + "-c:v flv1 -g 12 -c:a libmp3lame -b:a 64k -ar 44100 -shortest",
         "2.5", 1.92},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path in = MakeFixture(c.name, c.args);
        ASSERT_FALSE(in.empty());
        test::TempDir dir;
        const fs::path out = dir / (std::string("out") + in.extension().string());
        auto r = Cli("extract --dry-run --start " + std::string(c.start) + " --end 3.5 " + Q(in) + " -o " +
                     Q(out));
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_FALSE(fs::exists(out));
        const double start = DryStart(r.out);
        // The latest key frame at or before the asked start, as info lists them.
        const std::string info = Cli("info --json --keyframes " + Q(in)).out;
        const size_t list = info.find("\"key_frame_times\": [");
        ASSERT_NE(list, std::string::npos);
        double keyFrame = NAN;
        for (const char* p = info.c_str() + list + 20; *p && *p != ']';) {
            char* next = nullptr;
            const double t = std::strtod(p, &next);
            if (next == p) break;
            if (t <= std::stod(c.start)) keyFrame = t;
            p = next;
            while (*p == ',' || *p == ' ') ++p;
        }
        EXPECT_NEAR(start, keyFrame, 0.0015) << r.out << info;
        EXPECT_LT(start, std::stod(c.start));
        EXPECT_NEAR(start, c.expected, 0.6);
        // The real run then begins there: its output is as long as the section.
        ASSERT_EQ(
            Cli("--quiet extract --start " + std::string(c.start) + " --end 3.5 " + Q(in) + " -o " + Q(out))
                .status,
            0);
        const double end = std::strtod(r.out.substr(r.out.find("end: ") + 5).c_str(), nullptr);
        const double length = std::strtod(test::Probe(out, "v:0", "stream=duration").c_str(), nullptr);
        if (std::isfinite(length) && length > 0) {
            EXPECT_NEAR(length, end - start, 0.15) << r.out;
        }
        if (in.extension() == ".flv") {
            // Counted through the very save: the bytes are the output's size.
            std::smatch m;
            ASSERT_TRUE(std::regex_search(r.out, m, std::regex("bytes: ([0-9]+)")));
            EXPECT_EQ(std::stoull(m[1]), fs::file_size(out));
        }
        if (in.extension() == ".wmv") {
            // The samples the reader hands to the writer: their payloads are the output's packets.
            std::smatch m;
            ASSERT_TRUE(std::regex_search(r.out, m, std::regex("media bytes: ([0-9]+)")));
            const std::string sizes =
                test::Run("ffprobe -v error -show_entries packet=size -of csv=p=0 " + Q(out)).out;
            long long sum = 0;
            for (size_t p = 0; p < sizes.size();) {
                char* next = nullptr;
                sum += std::strtoll(sizes.c_str() + p, &next, 10);
                p = size_t(next - sizes.c_str()) + 1;
                if (next == sizes.c_str() + sizes.size()) break;
            }
            EXPECT_EQ(std::stoll(m[1]), sum) << r.out;
            ASSERT_TRUE(std::regex_search(r.out, m, std::regex("audio packets: ([0-9]+)")));
            EXPECT_EQ(std::stoi(m[1]),
                      std::atoi(test::Run("ffprobe -v error -count_packets -select_streams a "
                                          "-show_entries stream=nb_read_packets -of csv=p=0 " +
                                          Q(out))
                                    .out.c_str()));
        }
        if (in.extension() == ".avi" || in.extension() == ".wmv") {
            std::smatch m;
            ASSERT_TRUE(std::regex_search(r.out, m, std::regex("video packets: ([0-9]+)")));
            EXPECT_EQ(std::stoi(m[1]),
                      std::atoi(test::Run("ffprobe -v error -count_packets -select_streams v "
                                          "-show_entries stream=nb_read_packets -of csv=p=0 " +
                                          Q(out))
                                    .out.c_str()));
        }
    }
}

// ---------------------------------------------------------------- join check

TEST(CliJoinCheck, DifferingFilesAreRefusedWithTheReasonUnlessForced) {
    const fs::path a =
        MakeFixture("info_mpeg4_pcm.avi", kVideo + kTone + "-c:v mpeg4 -g 25 -c:a pcm_s16le -shortest");
    const fs::path big = MakeFixture("join_320.avi", "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 " +
                                                         kTone + "-c:v mpeg4 -g 25 -c:a pcm_s16le -shortest");
    const fs::path fast =
        MakeFixture("join_30fps_22k.avi", "-f lavfi -i testsrc=size=160x120:rate=30:duration=1 " + kTone +
                                              "-c:v mpeg4 -g 25 -c:a pcm_s16le -ar 22050 -shortest");
    const fs::path same =
        MakeFixture("join_same.avi", "-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 " + kTone +
                                         "-c:v mpeg4 -g 25 -c:a pcm_s16le -shortest");
    const fs::path w44 = MakeFixture("info_tone.wav", kTone + "-c:a pcm_s16le");
    const fs::path w8 = MakeFixture("join_8bit.wav", kTone + "-c:a pcm_u8 -ac 2");
    struct Case {
        std::string args;                  // the files, with --format when needed
        std::vector<std::string> reasons;  // empty: the files match
    } cases[] = {
        {Q(a) + " " + Q(same), {}},
        {Q(a) + " " + Q(big), {"join_320.avi: frame size 320×240, first file 160×120"}},
        {Q(a) + " " + Q(fast),
         {"join_30fps_22k.avi: frame rate 30, first file 25",
          "join_30fps_22k.avi: sample rate 22050 Hz, first file 44100 Hz"}},
        {"--format wav " + Q(w44) + " " + Q(w8),
         {"join_8bit.wav: channels 2, first file 1", "join_8bit.wav: bits 8, first file 16"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        test::TempDir dir;
        const std::string ext = c.args.find("--format wav") == 0 ? ".wav" : ".avi";
        const fs::path out = dir / ("j" + ext);
        auto r = test::Run("LC_ALL=C.UTF-8 " + Q(VT_CLI_PATH) + " --lang en --quiet join " + c.args + " -o " +
                           Q(out) + " 2>&1 </dev/null");
        if (c.reasons.empty()) {
            EXPECT_EQ(r.status, 0) << r.out;
            EXPECT_TRUE(fs::exists(out));
            continue;
        }
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_FALSE(fs::exists(out));
        for (const std::string& reason : c.reasons) EXPECT_NE(r.out.find(reason), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("--force"), std::string::npos) << r.out;
        // --force joins them as before.
        r = test::Run("LC_ALL=C.UTF-8 " + Q(VT_CLI_PATH) + " --quiet join --force " + c.args + " -o " +
                      Q(out) + " 2>&1 </dev/null");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_TRUE(fs::exists(out));
    }
    // WMV and FLV joins refuse such files as before, now saying why.
    struct Refusal {
        fs::path first, later;
        int code;
        const char* reason;
    } refusals[] = {
        {MakeFixture("info_wmv2.wmv", kVideo + kTone + "-c:v wmv2 -g 25 -c:a wmav2 -b:a 64k -shortest"),
         MakeFixture("join_320.wmv", "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 " + kTone +
                                         "-c:v wmv2 -g 25 -c:a wmav2 -b:a 64k -shortest"),
         kErrWmProcess, "picture size 320\u00D7240, first file 160\u00D7120"},
        {MakeFixture("info_h263_mp3.flv",
                     kVideo + kTone + "-c:v flv1 -g 12 -c:a libmp3lame -b:a 64k -ar 44100 -shortest"),
         MakeFixture("join_320.flv", "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 " + kTone +
                                         "-c:v flv1 -g 12 -c:a libmp3lame -b:a 64k -ar 44100 -shortest"),
         kFlvErrFormat, "picture size 320\u00D7240, first file 160\u00D7120"},
        {MakeFixture("info_h263_mp3.flv",
                     kVideo + kTone + "-c:v flv1 -g 12 -c:a libmp3lame -b:a 64k -ar 44100 -shortest"),
         MakeFixture("join_22k.flv",
                     kVideo + kTone + "-c:v flv1 -g 12 -c:a libmp3lame -b:a 64k -ar 22050 -shortest"),
         kFlvErrFormat, "audio header byte"},
    };
    for (const Refusal& c : refusals) {
        SCOPED_TRACE(c.later.string());
        test::TempDir dir;
        auto r = test::Run("LC_ALL=C.UTF-8 " + Q(VT_CLI_PATH) + " --lang en --quiet join --force " +
                           Q(c.first) + " " + Q(c.later) + " -o " +
                           Q(dir / ("j" + c.first.extension().string())) + " 2>&1 </dev/null");
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find(std::to_string(c.code)), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.later.string() + "\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.reason), std::string::npos) << r.out;
    }

    // In Japanese, the same reason in its words.
    auto r = test::Run("LC_ALL=C.UTF-8 " + Q(VT_CLI_PATH) + " --lang ja --quiet join " + Q(a) + " " + Q(big) +
                       " -o /dev/null/x.avi 2>&1 </dev/null");
    EXPECT_NE(r.out.find("join_320.avi: フレームサイズ 320×240、最初のファイルは 160×120"), std::string::npos)
        << r.out;
}

}  // namespace
}  // namespace vt
