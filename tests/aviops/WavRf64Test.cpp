// WAV outputs past the RIFF limit (4 GiB) are RF64 files, and RF64 and Wave64
// inputs are read like WAV files. The limit is lowered here so that the files
// stay small; wav_large_tests writes a real one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "core/ErrorCodes.h"
#include "media/avi/DecMovie.h"
#include "pages/avi/AviOperations.h"
#include "platform/ByteIO.h"
#include "platform/WavWriter.h"
#include "tests/aviops/AviOpsTestSupport.h"
#include "tests/aviops/WavHeadView.h"

namespace vt {
namespace {

using namespace vt::test;

SectionRange Range(int64_t startMs, int64_t endMs) {
    return {FromMilliseconds(startMs), FromMilliseconds(endMs)};
}

double ProbedDuration(const fs::path& f) {
    return std::strtod(
        test::Run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Q(f)).out.c_str(), nullptr);
}

// The sample frames our own reader finds in a file (-1: it does not open).
int64_t ReaderLength(const fs::path& f) {
    CDecWAV r;
    if (r.Open(f.string()) != 0) return -1;
    return r.GetAudioLength();
}

// ---------------------------------------------------------------- outputs

// A join, an extraction or an audio separation whose output passes the RIFF
// limit writes RF64:
// 'RF64' and all ones in the 32-bit sizes, the real sizes and the sample count
// in 'ds64', the data as the inputs hold it. One that stays under the limit is
// the plain file; one laid out for RF64 that ends under the limit (stopped)
// keeps its 'JUNK' room and is a plain RIFF file too.
TEST(WavRf64, OutputsPastTheRiffLimit) {
    const fs::path a = Wav1s("ops_1s_440.wav", 440), b = Wav1s("ops_1s_660.wav", 660), long3s = Wav3s44k();
    ASSERT_FALSE(a.empty() || b.empty() || long3s.empty());
    enum class Op { kJoin, kExtract, kSeparate };
    struct Case {
        const char* name;
        Op op;
        uint64_t riffBytes;
        int stopAfterProgressCalls;
        const char* form;
        const char* firstChunk;
    } cases[] = {
        {"join past the limit", Op::kJoin, 150000, -1, "RF64", "ds64"},
        {"extraction past the limit", Op::kExtract, 200000, -1, "RF64", "ds64"},
        {"separation past the limit", Op::kSeparate, 200000, -1, "RF64", "ds64"},
        {"join under the limit", Op::kJoin, 1000000, -1, "RIFF", "fmt "},
        {"join laid out for RF64, stopped under the limit", Op::kJoin, 150000, 1, "RIFF", "JUNK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path out = dir / "out.wav", plain = dir / "plain.wav";
        RecordingHost host, plainHost;
        host.stopAfterProgressCalls = c.stopAfterProgressCalls;
        plainHost.stopAfterProgressCalls = c.stopAfterProgressCalls;
        WavWriteOptions o;
        o.riffBytes = c.riffBytes;
        const std::vector<fs::path> inputs =
            c.op == Op::kJoin ? std::vector<fs::path>{a, b} : std::vector<fs::path>{long3s};
        OpResult r, r0;
        if (c.op == Op::kJoin) {
            r = WavConnection({a.string(), b.string()}, out.string(), host, o);
            r0 = WavConnection({a.string(), b.string()}, plain.string(), plainHost);
        } else if (c.op == Op::kExtract) {
            r = WavExtraction(long3s.string(), out.string(), Range(0, 3000), host, o);
            r0 = WavExtraction(long3s.string(), plain.string(), Range(0, 3000), plainHost);
        } else {
            r = AviAudioSeparation(long3s.string(), out.string(), host, o);
            r0 = AviAudioSeparation(long3s.string(), plain.string(), plainHost);
        }
        ASSERT_EQ(r.code, 0) << r.detail;
        ASSERT_EQ(r0.code, 0) << r0.detail;
        const WavHead h = ReadWavHead(out), p = ReadWavHead(plain);
        EXPECT_EQ(h.form, c.form);
        EXPECT_EQ(h.firstChunk, c.firstChunk);
        ASSERT_GT(h.dataPos, 0u);
        // The data is the plain output's, whatever the form.
        const uint64_t dataBytes = p.dataSize32;
        EXPECT_EQ(h.fileSize - h.dataPos, dataBytes);
        EXPECT_EQ(Md5Of(out, h.dataPos), Md5Of(plain, p.dataPos));
        if (c.stopAfterProgressCalls < 0) {
            EXPECT_EQ(Md5Of(out, h.dataPos), DataMd5(inputs));
        }
        if (h.form == "RF64") {
            EXPECT_EQ(h.riffSize32, 0xFFFFFFFFu);
            EXPECT_EQ(h.dataSize32, 0xFFFFFFFFu);
            EXPECT_EQ(h.ds64Riff, h.fileSize - 8);
            EXPECT_EQ(h.ds64Data, dataBytes);
            EXPECT_EQ(h.ds64Samples, dataBytes / 4);
            EXPECT_GT(h.fileSize, c.riffBytes);
        } else {
            EXPECT_EQ(uint64_t(h.riffSize32) + 8, h.fileSize);
            EXPECT_EQ(h.dataSize32, dataBytes);
        }
        // The pages count PCM frames in 'fact'; the stream save writes none for PCM.
        EXPECT_EQ(h.hasFact, c.op != Op::kSeparate);
        if (h.hasFact) {
            EXPECT_EQ(h.fact, dataBytes / 4);
        }
        // Under the limit, nothing but the 'JUNK' room differs from the plain output.
        if (h.firstChunk == "fmt ") {
            EXPECT_EQ(ReadFile(out), ReadFile(plain));
        }
        if (h.firstChunk == "JUNK") {
            EXPECT_EQ(h.fileSize, p.fileSize + 36);
        }
        // ffmpeg and our own reader read it whole.
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
        EXPECT_NEAR(ProbedDuration(out), ProbedDuration(plain), 0.001);
        EXPECT_EQ(ReaderLength(out), int64_t(dataBytes / 4));
        // The dry run's plan is the real output.
        if (c.op == Op::kExtract) {
            WavSectionPlan plan;
            ASSERT_EQ(PlanWavExtraction(long3s.string(), Range(0, 3000), plan, o), 0);
            EXPECT_EQ(plan.fileBytes, h.fileSize);
            EXPECT_EQ(plan.dataBytes, dataBytes);
            EXPECT_EQ(plan.blocks, dataBytes / 4);
        }
    }
}

// After a failed write the header is set from what reached the disk: in the
// RF64 form when a file laid out for it passed the limit, as a RIFF file (its
// 'JUNK' room kept) when it did not.
TEST(WavRf64, RepairAfterAFailedWrite) {
    const std::vector<uint8_t> pcm = {1, 0, 2, 0, 0x22, 0x56, 0, 0, 0x88, 0x58, 1, 0, 4, 0, 16, 0, 0, 0};
    struct Case {
        uint64_t written;
        const char* form;
    } cases[] = {{4002, "RF64"}, {802, "RIFF"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form);
        TempDir dir;
        const fs::path out = dir / "cut.wav";
        {
            WavWriter w;
            WavWriter::Options o;
            o.riffBytes = 1000;
            o.expectedDataBytes = 8000;
            ASSERT_EQ(w.Create(out.string(), pcm, o), WavWriter::Created::Ok);
            ASSERT_TRUE(w.LaidOutForRf64());
            const std::vector<uint8_t> data(size_t(c.written), 7);
            ASSERT_EQ(w.Append(data.data(), data.size()), WavWriter::Appended::Ok);
            // Never finished: the sizes in the header are the first ones.
        }
        WavWriter::RepairSizes(out.string(), pcm, 1000);
        const WavHead h = ReadWavHead(out);
        const uint64_t whole = c.written - c.written % 4;
        EXPECT_EQ(h.form, c.form);
        EXPECT_EQ(h.fileSize, h.dataPos + whole);
        if (h.form == "RF64") {
            EXPECT_EQ(h.firstChunk, "ds64");
            EXPECT_EQ(h.ds64Data, whole);
            EXPECT_EQ(h.ds64Riff, h.fileSize - 8);
            EXPECT_EQ(h.ds64Samples, whole / 4);
        } else {
            EXPECT_EQ(h.firstChunk, "JUNK");
            EXPECT_EQ(h.dataSize32, whole);
            EXPECT_EQ(uint64_t(h.riffSize32) + 8, h.fileSize);
        }
        EXPECT_EQ(ReaderLength(out), int64_t(whole / 4));
    }
}

// ---------------------------------------------------------------- inputs

// RF64 (as ffmpeg writes it) and Wave64 inputs are joined and cut exactly as
// the same audio in plain WAV files, and `info` reads them.
TEST(WavRf64, Rf64AndWave64InputsReadAsTheirWav) {
    const std::string tone = "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 ";
    const fs::path a = Wav1s("ops_1s_440.wav", 440), b = Wav1s("ops_1s_660.wav", 660), long3s = Wav3s44k();
    const fs::path aRf = MakeFixture("rf64_1s_440.wav", "-i " + Q(a) + " -c copy -rf64 always");
    const fs::path bW64 = MakeFixture("w64_1s_660.w64", "-i " + Q(b) + " -c copy");
    const fs::path longRf = MakeFixture("rf64_3s_44k.wav", "-i " + Q(long3s) + " -c copy -rf64 always");
    const fs::path mp3 = MakeFixture("ops_mp3_tone.wav", tone + "-c:a libmp3lame -b:a 64k");
    const fs::path mp3Rf = MakeFixture("rf64_mp3_tone.wav", "-i " + Q(mp3) + " -c copy -rf64 always");
    for (const fs::path& f : {aRf, bW64, longRf, mp3Rf}) ASSERT_FALSE(f.empty());
    ASSERT_EQ(ReadWavHead(aRf).form, "RF64");

    TempDir dir;
    struct Case {
        const char* name;
        std::vector<fs::path> inputs, plainInputs;
    } joins[] = {
        {"RF64 + Wave64", {aRf, bW64}, {a, b}},
        {"MP3 in RF64", {mp3Rf, mp3Rf}, {mp3, mp3}},
    };
    for (const Case& c : joins) {
        SCOPED_TRACE(c.name);
        RecordingHost host;
        std::vector<std::string> in, plainIn;
        for (const auto& f : c.inputs) in.push_back(f.string());
        for (const auto& f : c.plainInputs) plainIn.push_back(f.string());
        ASSERT_EQ(WavConnection(in, (dir / "j.wav").string(), host).code, 0);
        ASSERT_EQ(WavConnection(plainIn, (dir / "j0.wav").string(), host).code, 0);
        EXPECT_EQ(ReadFile(dir / "j.wav"), ReadFile(dir / "j0.wav"));
    }
    RecordingHost host;
    ASSERT_EQ(WavExtraction(longRf.string(), (dir / "e.wav").string(), Range(700, 2100), host).code, 0);
    ASSERT_EQ(WavExtraction(long3s.string(), (dir / "e0.wav").string(), Range(700, 2100), host).code, 0);
    EXPECT_EQ(ReadFile(dir / "e.wav"), ReadFile(dir / "e0.wav"));

    for (const fs::path& f : {aRf, bW64}) {
        const auto r = test::Run(Q(VT_CLI_PATH) + " --lang en info --json " + Q(f) + " 2>&1");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("\"container\": \"wav\""), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\"duration\": 1.0"), std::string::npos) << r.out;
    }
}

// Offsets of the chunks of an RF64 / Wave64 file as ffmpeg writes them.
size_t Find(const std::vector<uint8_t>& b, const char* id) {
    for (size_t i = 12; i + 4 <= b.size(); ++i)
        if (std::memcmp(b.data() + i, id, 4) == 0) return i;
    return 0;
}

// Every size in those headers is checked against the file: a size past the
// end reads what is there, a chunk too small to hold its own header (or a
// missing 'ds64') is refused, and nothing makes the reader loop or read past
// the end.
TEST(WavRf64, SizeFieldsAreCheckedAgainstTheFile) {
    const fs::path a = Wav1s("ops_1s_440.wav", 440);
    const fs::path rf = MakeFixture("rf64_1s_440.wav", "-i " + Q(a) + " -c copy -rf64 always");
    const fs::path w64 = MakeFixture("w64_1s_440.w64", "-i " + Q(a) + " -c copy");
    ASSERT_FALSE(rf.empty() || w64.empty());
    const std::vector<uint8_t> rfBytes = ReadFile(rf), w64Bytes = ReadFile(w64);
    const size_t ds64 = Find(rfBytes, "ds64"), w64Fmt = Find(w64Bytes, "fmt "),
                 w64Data = Find(w64Bytes, "data");
    ASSERT_EQ(ds64, 12u);
    ASSERT_GT(w64Fmt, 0u);
    ASSERT_GT(w64Data, 0u);
    constexpr int64_t kWhole = 22050;
    struct Case {
        const char* name;
        bool wave64;
        size_t at;  // where `value` goes, 8 bytes little-endian (4 when `narrow`)
        uint64_t value;
        bool narrow;
        size_t keep;     // bytes kept (0: all)
        int64_t length;  // -1: refused
    } cases[] = {
        {"RF64 data size past the end", false, ds64 + 16, uint64_t(1) << 62, false, 0, kWhole},
        {"RF64 RIFF size past the end", false, ds64 + 8, uint64_t(1) << 62, false, 0, kWhole},
        {"RF64 cut in the data", false, 0, 0, false, rfBytes.size() - 4000, kWhole - 1000},
        {"ds64 too small", false, ds64 + 4, 8, true, 0, -1},
        {"no ds64 first", false, ds64, 0x4B4E554A /* JUNK */, true, 0, -1},
        {"Wave64 data size past the end", true, w64Data + 16, uint64_t(1) << 62, false, 0, kWhole},
        {"Wave64 RIFF size past the end", true, 16, uint64_t(1) << 62, false, 0, kWhole},
        {"Wave64 cut in the data", true, 0, 0, false, w64Bytes.size() - 4000, kWhole - 1000},
        {"Wave64 chunk size 0", true, w64Fmt + 16, 0, false, 0, -1},
        {"Wave64 format past the end", true, w64Fmt + 16, uint64_t(1) << 40, false, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> b = c.wave64 ? w64Bytes : rfBytes;
        if (c.at) {
            if (c.narrow)
                PutU32LE(b.data() + c.at, uint32_t(c.value));
            else
                PutU64LE(b.data() + c.at, c.value);
        }
        if (c.keep) b.resize(c.keep);
        TempDir dir;
        const fs::path f = dir / (c.wave64 ? "in.w64" : "in.wav");
        WriteFile(f, b);
        EXPECT_EQ(ReaderLength(f), c.length);
    }
}

// A stream longer than the reader's 32-bit sample positions is refused rather
// than read up to there (a join or a cut would lose the rest). The file is
// sparse: 2.5 GB of 8-bit mono, 2.5e9 sample frames.
TEST(WavRf64, StreamsPastTheSamplePositionsAreRefused) {
    TempDir dir;
    const fs::path f = dir / "long8.wav";
    constexpr uint32_t kData = 2'500'000'000u;
    std::vector<uint8_t> head(44);
    auto put = [&](size_t at, uint32_t v) { PutU32LE(head.data() + at, v); };
    std::memcpy(head.data(), "RIFF", 4);
    put(4, 36 + kData);
    std::memcpy(head.data() + 8, "WAVEfmt ", 8);
    put(16, 16);
    put(20, 1 | (1 << 16));  // PCM, mono
    put(24, 8000);
    put(28, 8000);
    put(32, 1 | (8 << 16));  // block align 1, 8 bits
    std::memcpy(head.data() + 36, "data", 4);
    put(40, kData);
    WriteFile(f, head);
    fs::resize_file(f, 44 + uint64_t(kData));
    EXPECT_EQ(ReaderLength(f), -1);
    const fs::path out = dir / "out.wav";
    EXPECT_NE(
        test::Run(Q(VT_CLI_PATH) + " --quiet extract --start 1 --end 2 " + Q(f) + " -o " + Q(out)).status, 0);
    EXPECT_FALSE(fs::exists(out));
}

// `extract --dry-run` of a WAV file prints the blocks and the bytes the run
// writes (MPEG audio has no fixed blocks: bytes only).
TEST(WavRf64, DryRunPrintsWhatTheExtractionWrites) {
    const std::string tone = "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=3 ";
    struct Case {
        const char* name;
        std::string args;
        bool blocks;
    } cases[] = {
        {"dry_pcm8.wav", tone + "-c:a pcm_u8", true},
        {"dry_pcm24.wav", tone + "-c:a pcm_s24le -ac 2", true},
        {"dry_adpcm.wav", tone + "-c:a adpcm_ms -ac 2", true},
        {"dry_mp3.wav", tone + "-c:a libmp3lame -b:a 64k", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path in = MakeFixture(c.name, c.args);
        ASSERT_FALSE(in.empty());
        TempDir dir;
        const fs::path out = dir / "out.wav";
        const std::string range = " --start 0.7 --end 2.25 ";
        const auto dry =
            test::Run(Q(VT_CLI_PATH) + " --lang en extract --dry-run" + range + Q(in) + " -o " + Q(out));
        ASSERT_EQ(dry.status, 0) << dry.out;
        EXPECT_FALSE(fs::exists(out));
        ASSERT_EQ(test::Run(Q(VT_CLI_PATH) + " --quiet extract" + range + Q(in) + " -o " + Q(out)).status, 0);
        const size_t bytesAt = dry.out.find("  bytes: ");
        ASSERT_NE(bytesAt, std::string::npos) << dry.out;
        EXPECT_EQ(std::stoull(dry.out.substr(bytesAt + 9)), fs::file_size(out)) << dry.out;
        const size_t blocksAt = dry.out.find("  blocks: ");
        if (!c.blocks) {
            EXPECT_EQ(blocksAt, std::string::npos) << dry.out;
            continue;
        }
        const WavHead h = ReadWavHead(out);
        ASSERT_NE(blocksAt, std::string::npos) << dry.out;
        ASSERT_GT(h.blockAlign, 0);
        EXPECT_EQ(std::stoull(dry.out.substr(blocksAt + 10)), h.dataSize32 / h.blockAlign) << dry.out;
    }
}

}  // namespace
}  // namespace vt
