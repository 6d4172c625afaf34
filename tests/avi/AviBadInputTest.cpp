// Bad input: empty, random and lying files give the readers' error codes or
// a readable prefix; never a crash, a hang or a huge allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/ErrorCodes.h"
#include "platform/AviFile.h"
#include "platform/Riff.h"
#include "tests/avi/AviFixtures.h"
#include "tests/avi/AviTestUtil.h"

namespace vt::test {
namespace {

std::vector<uint8_t> Riff(uint32_t form, std::vector<uint8_t> body, uint32_t size = 0) {
    std::vector<uint8_t> b(12 + body.size());
    PutU32LE(&b[0], kFourCCRiff);
    PutU32LE(&b[4], size ? size : uint32_t(body.size() + 4));
    PutU32LE(&b[8], form);
    std::copy(body.begin(), body.end(), b.begin() + 12);
    return b;
}
std::vector<uint8_t> Chunk(uint32_t id, std::vector<uint8_t> data, uint32_t size = UINT32_MAX) {
    std::vector<uint8_t> b(8 + data.size() + (data.size() & 1), 0);
    PutU32LE(&b[0], id);
    PutU32LE(&b[4], size == UINT32_MAX ? uint32_t(data.size()) : size);
    std::copy(data.begin(), data.end(), b.begin() + 8);
    return b;
}
std::vector<uint8_t> List(uint32_t type, std::vector<uint8_t> body, uint32_t size = UINT32_MAX) {
    std::vector<uint8_t> t(4);
    PutU32LE(&t[0], type);
    t.insert(t.end(), body.begin(), body.end());
    return Chunk(kFourCCList, t, size);
}

// Opens bytes through the AVI services and reads every sample of every stream.
AviResult OpenAndReadAll(const std::vector<uint8_t>& bytes) {
    std::shared_ptr<AviFile> f;
    AviResult r = AviFile::Open(std::make_unique<MemoryIO>(std::span<const uint8_t>(bytes)), f);
    if (r != kAviOk) return r;
    AviFileInfo info;
    f->Info(info);
    std::vector<uint8_t> buf;
    for (uint32_t i = 0; i < info.dwStreams; ++i) {
        std::shared_ptr<AviStream> s;
        if (f->GetStream(s, 0, int(i)) != kAviOk) return kAviErrInternal;
        int32_t end = s->Start() + s->Length();
        for (int32_t p = s->Start(); p < end;) {
            int32_t bytesRead = 0, samples = 0;
            if (s->Read(p, kAviStreamReadConvenient, nullptr, 0, &bytesRead, &samples) != kAviOk)
                return kAviErrFileRead;
            if (samples <= 0) break;
            buf.resize(size_t(std::max(bytesRead, 1)));
            if (s->Read(p, kAviStreamReadConvenient, buf.data(), int32_t(buf.size()), &bytesRead, &samples) !=
                kAviOk)
                return kAviErrFileRead;
            if (size_t(bytesRead) > buf.size()) return kAviErrInternal;
            p += samples;
            s->FindSample(p, kFindKey | kFindPrev);
        }
    }
    return kAviOk;
}

TEST(AviBadInput, ReadersReturnTheirCodes) {
    TempDir dir;
    std::mt19937 rng(7);
    std::vector<uint8_t> random(5000);
    for (auto& b : random) b = uint8_t(rng());
    // A RIFF AVI whose first chunk claims 0xFFFFFFF0 bytes.
    auto huge = Riff(MakeFourCC('A', 'V', 'I', ' '),
                     Chunk(MakeFourCC('J', 'U', 'N', 'K'), {1, 2, 3, 4}, 0xFFFFFFF0u));
    // A header list whose stream format claims more than the list holds.
    auto strf = List(MakeFourCC('s', 't', 'r', 'l'),
                     Chunk(MakeFourCC('s', 't', 'r', 'f'), std::vector<uint8_t>(40, 0), 0x7FFFFFF0u));
    auto lying = Riff(MakeFourCC('A', 'V', 'I', ' '),
                      List(MakeFourCC('h', 'd', 'r', 'l'),
                           Chunk(MakeFourCC('a', 'v', 'i', 'h'), std::vector<uint8_t>(56, 0))));
    lying.insert(lying.end(), strf.begin(), strf.end());
    // A WAV file whose fmt chunk is too short and one whose data runs past the end.
    auto shortFmt = Riff(MakeFourCC('W', 'A', 'V', 'E'), Chunk(MakeFourCC('f', 'm', 't', ' '), {1, 0, 1, 0}));
    std::vector<uint8_t> fmt16 = {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0};
    auto pastEnd = Riff(MakeFourCC('W', 'A', 'V', 'E'), Chunk(MakeFourCC('f', 'm', 't', ' '), fmt16));
    auto data = Chunk(MakeFourCC('d', 'a', 't', 'a'), {1, 2, 3, 4, 5, 6, 7}, 0xFFFFFF00u);
    data.pop_back();  // no pad byte: the file just ends
    pastEnd.insert(pastEnd.end(), data.begin(), data.end());
    PutU32LE(&pastEnd[4], 0xFFFFFFF0u);  // a download cut off: the RIFF size passes the end too

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int avi;  // CDecAVIAudio::Open
        int wav;  // CDecWAV::Open
    };
    std::vector<Case> cases = {
        {"empty", {}, kErrAviFileOpen, kErrAviFileOpen},
        {"random", random, kErrAviFileOpen, kErrAviFileOpen},
        {"riff_only", Riff(MakeFourCC('A', 'V', 'I', ' '), {}), kErrAviFileOpen, kErrAviFileOpen},
        {"huge_chunk", huge, kErrAviFileOpen, kErrAviFileOpen},
        {"lying_list", lying, kErrAviNoVideo, kErrAviNoAudio},
        {"short_fmt", shortFmt, kErrAviFileOpen, kErrAviFileOpen},
        {"data_past_end", pastEnd, kErrAviNoVideo, kOk},
    };
    for (const auto& c : cases) {
        auto path = dir / (std::string(c.name) + ".avi");
        WriteFile(path, c.bytes);
        CDecAVIAudio avi;
        EXPECT_EQ(avi.Open(path.string()), c.avi) << c.name;
        CDecWAV wav;
        EXPECT_EQ(wav.Open(path.string()), c.wav) << c.name;
        if (c.wav == 0) {
            // The data that is there, in whole blocks: 6 bytes, 3 samples.
            EXPECT_EQ(wav.GetAudioLength(), 3) << c.name;
            std::vector<uint8_t> buf(64);
            int samples = 0, bytes = 64;
            EXPECT_EQ(wav.ReadAudio(&samples, buf.data(), &bytes), 0);
            EXPECT_EQ(bytes, 6);
        }
    }
}

// Every prefix of real files, and files with bytes flipped, open with an
// error or read whatever is there.
TEST(AviBadInput, TruncatedAndDamagedFiles) {
    for (auto fixture : {AviMpeg4Mp3, AviMsmpegPcm}) {
        auto bytes = ReadFile(fixture());
        ASSERT_GT(bytes.size(), 1000u);
        for (size_t n = 0; n < bytes.size(); n += 1 + n / 7) {
            std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + long(n));
            AviResult r = OpenAndReadAll(prefix);
            EXPECT_TRUE(r == kAviOk || r == kAviErrBadFormat || r == kAviErrFileRead) << n << " " << r;
        }
        std::mt19937 rng(11);
        for (int round = 0; round < 200; ++round) {
            auto damaged = bytes;
            for (int k = 0; k < 8; ++k) damaged[rng() % damaged.size()] = uint8_t(rng());
            // Size fields in the headers get the worst values.
            size_t at = 4 + 4 * (rng() % 100);
            PutU32LE(&damaged[at], (round & 1) ? 0xFFFFFFF0u : uint32_t(rng()));
            AviResult r = OpenAndReadAll(damaged);
            EXPECT_TRUE(r == kAviOk || r == kAviErrBadFormat || r == kAviErrFileRead) << round << " " << r;
        }
    }
}

// A bogus OpenDML index is not trusted: a base offset whose sum with the
// entry offsets wraps, an entry past the end of the file, a super index entry
// whose offset wraps. The reader falls back to idx1 and a scan of the movi
// lists and reads every sample.
TEST(AviBadInput, BogusOpenDmlIndexFallsBack) {
    auto src = AviMjpegU8();
    TempDir dir;
    auto odml = dir / "odml.avi";
    AviWriteOptions o;
    o.partSize = 64 << 10;
    ASSERT_EQ(CopyMovie(src, odml, o), 0);
    const auto bytes = ReadFile(odml);
    const std::string text(bytes.begin(), bytes.end());
    const size_t ix0 = text.find("ix00");                     // the first part's standard index
    const size_t ix1 = text.find("ix00", text.find("AVIX"));  // a later part's
    const size_t indx = text.find("indx");
    ASSERT_NE(ix0, std::string::npos);
    ASSERT_NE(ix1, std::string::npos);
    ASSERT_NE(indx, std::string::npos);
    struct Case {
        const char* name;
        size_t at;
        uint64_t value;
        bool wide;
    };
    const Case cases[] = {
        {"base wraps onto the file", ix0 + 20, ~uint64_t(0) - 7, true},
        {"entry past the end", ix1 + 32, 0xFFFFFF00u, false},
        {"super index entry wraps", indx + 32, ~uint64_t(0) - 15, true},
    };
    for (const Case& c : cases) {
        auto damaged = bytes;
        if (c.wide)
            PutU64LE(&damaged[c.at], c.value);
        else
            PutU32LE(&damaged[c.at], uint32_t(c.value));
        auto path = dir / "damaged.avi";
        WriteFile(path, damaged);
        auto out = dir / "copy.avi";
        ASSERT_EQ(CopyMovie(path, out), 0) << c.name;
        EXPECT_EQ(FrameMd5Lines(out, "v:0"), FrameMd5Lines(src, "v:0")) << c.name;
        EXPECT_EQ(StreamMd5(out, "a:0"), StreamMd5(src, "a:0")) << c.name;
    }
}

// RIFF chunk I/O: sizes that pass the parent's end are refused.
TEST(AviBadInput, RiffDescendStaysInside) {
    auto bytes =
        Riff(MakeFourCC('W', 'A', 'V', 'E'), Chunk(MakeFourCC('f', 'm', 't', ' '), {1, 2}, 0xFFFFFFF0u));
    MemoryIO io{std::span<const uint8_t>(bytes)};
    RiffIO riff(io);
    RiffChunk r, c;
    r.fccType = MakeFourCC('W', 'A', 'V', 'E');
    ASSERT_TRUE(riff.Descend(r, nullptr, RiffIO::kFindRiff));
    c.ckid = MakeFourCC('f', 'm', 't', ' ');
    EXPECT_FALSE(riff.Descend(c, &r, RiffIO::kFindChunk));
    auto ok = Riff(MakeFourCC('W', 'A', 'V', 'E'), Chunk(MakeFourCC('J', 'U', 'N', 'K'), {1, 2, 3}));
    auto more = Chunk(MakeFourCC('d', 'a', 't', 'a'), {1, 2});
    PutU32LE(&ok[4], uint32_t(ok.size() - 8 + more.size()));
    ok.insert(ok.end(), more.begin(), more.end());
    MemoryIO io2{std::span<const uint8_t>(ok)};
    RiffIO riff2(io2);
    ASSERT_TRUE(riff2.Descend(r, nullptr, RiffIO::kFindRiff));
    c.ckid = MakeFourCC('d', 'a', 't', 'a');
    ASSERT_TRUE(riff2.Descend(c, &r, RiffIO::kFindChunk));  // steps over the odd JUNK and its pad byte
    EXPECT_EQ(c.cksize, 2u);
    c.ckid = MakeFourCC('f', 'a', 'c', 't');
    ASSERT_TRUE(riff2.Seek(12));
    EXPECT_FALSE(riff2.Descend(c, &r, RiffIO::kFindChunk));
}

}  // namespace
}  // namespace vt::test
