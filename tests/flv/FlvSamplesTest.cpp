// FLV files written by other programs (the shared sample folder beside the
// source tree), every operation judged against what ffmpeg reads from them.
// The files stay where they are; a missing folder skips these tests.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/ErrorCodes.h"
#include "tests/flv/FlvTestUtil.h"

using namespace vt;
using namespace vt::test;

namespace {

std::vector<std::string> Twice(const std::vector<std::string>& v) {
    std::vector<std::string> out = v;
    out.insert(out.end(), v.begin(), v.end());
    return out;
}

std::vector<std::string> WithoutEmpty(std::vector<std::string> v) {
    std::erase_if(v, [](const std::string& l) { return l.rfind("0,", 0) == 0; });
    return v;
}

int JoinWithItself(const std::filesystem::path& src, const std::filesystem::path& out) {
    CFlvFile first, second;
    int code = first.Open(src.string());
    if (code == 0) code = second.Open(src.string());
    if (code == 0) code = first.Add(&second, true);
    return code != 0 ? code : first.SaveAs(out.string(), nullptr);
}

int ExtractSection(const std::filesystem::path& src, uint32_t start, uint32_t end,
                   const std::filesystem::path& out) {
    CFlvFile f;
    int code = f.Open(src.string());
    if (code == 0) code = f.Extract(start, end);
    return code != 0 ? code : f.SaveAs(out.string(), nullptr);
}

struct Sample {
    const char* name;
    // The packets that a complete tag holds: ffmpeg also hands out the part
    // of a tag that a cut-short download ends in; the library leaves such a
    // tag out.
    size_t cutAudio;
    int audioCode;  // the audio separation's result
    const char* audioDetail;
    bool decodesCleanly;
};

const Sample kSamples[] = {
    // One MP3 frame (MPEG 2.5, 11 kHz) beside VP6 video, with cue points.
    {"et__Flash.flv", 0, kFlvErrAudioSize, "single MP3 frame", true},
    // Sorenson H.263 and MP3, the download cut short inside the last tag.
    {"hc__breakdance.flv", 1, 0, "", true},
    // Sorenson H.263 and Flash ADPCM.
    {"fla__zelda.flv", 0, kFlvErrUnsupported, "The audio is ADPCM", true},
};

std::vector<std::string> CompleteAudio(const Sample& s, const std::filesystem::path& src) {
    auto a = PacketChecksums(src, "a:0");
    a.resize(a.size() - std::min(a.size(), s.cutAudio));
    return a;
}

}  // namespace

TEST(FlvSamples, SeparationOfBothStreams) {
    for (const Sample& s : kSamples) {
        const auto src = SamplePath(s.name);
        if (src.empty()) GTEST_SKIP() << "no shared samples";
        TempDir dir;
        CFlvFile f;
        ASSERT_EQ(f.Open(src.string()), 0) << s.name;

        // Video: every frame as ffmpeg reads it (the AVI keeps the timing
        // with empty frames where the FLV skips a frame slot).
        const auto avi = dir / "v.avi";
        ASSERT_EQ(f.SaveAVI(avi.string(), nullptr), 0) << s.name;
        EXPECT_EQ(WithoutEmpty(PacketChecksums(avi, "v:0")), PacketChecksums(src, "v:0")) << s.name;
        EXPECT_TRUE(DecodesCleanly(avi)) << s.name;

        const auto audio = dir / ("a" + f.AudioExtension());
        EXPECT_EQ(f.SaveAudio(audio.string(), nullptr), s.audioCode) << s.name;
        EXPECT_NE(f.GetLastErrorDetail().find(s.audioDetail), std::string::npos)
            << s.name << ": " << f.GetLastErrorDetail();
        if (s.audioCode != 0) {
            EXPECT_FALSE(std::filesystem::exists(audio)) << s.name;
            continue;
        }
        EXPECT_EQ(PacketChecksums(audio, "a:0"), CompleteAudio(s, src)) << s.name;
        EXPECT_TRUE(DecodesCleanly(audio)) << s.name;
    }
}

TEST(FlvSamples, JoinWithItself) {
    for (const Sample& s : kSamples) {
        const auto src = SamplePath(s.name);
        if (src.empty()) GTEST_SKIP() << "no shared samples";
        TempDir dir;
        const auto out = dir / "j.flv";
        ASSERT_EQ(JoinWithItself(src, out), 0) << s.name;
        EXPECT_EQ(PacketChecksums(out, "v:0"), Twice(PacketChecksums(src, "v:0"))) << s.name;
        EXPECT_EQ(PacketChecksums(out, "a:0"), Twice(CompleteAudio(s, src))) << s.name;
        if (s.decodesCleanly) {
            EXPECT_TRUE(DecodesCleanly(out)) << s.name;
        }
    }
}

// Sections: a run of the source's packets that begins at a key frame.
TEST(FlvSamples, Extraction) {
    for (const Sample& s : kSamples) {
        const auto src = SamplePath(s.name);
        if (src.empty()) GTEST_SKIP() << "no shared samples";
        TempDir dir;
        const auto video = PacketChecksums(src, "v:0");
        const auto audio = CompleteAudio(s, src);
        CFlvFile whole;
        ASSERT_EQ(whole.Open(src.string()), 0);
        const uint32_t length = whole.Duration();
        for (auto [start, end] : {std::pair<uint32_t, uint32_t>{0, 0}, {0, 1000}, {1000, 1500}}) {
            const auto out = dir / "e.flv";
            ASSERT_EQ(ExtractSection(src, start, end, out), 0) << s.name << " " << start;
            CFlvFile e;
            const int opened = e.Open(out.string());
            // A section past the end of a short file holds no frame.
            if (opened == kFlvErrNoMedia && start >= length) continue;
            ASSERT_EQ(opened, 0) << s.name << " " << start;
            const auto v = PacketChecksums(out, "v:0");
            EXPECT_NE(std::search(video.begin(), video.end(), v.begin(), v.end()), video.end())
                << s.name << " " << start;
            const auto first = std::find_if(e.Tags().begin(), e.Tags().end(),
                                            [](const FlvTag& t) { return t.type == kFlvTagVideo; });
            ASSERT_NE(first, e.Tags().end());
            EXPECT_TRUE(first->IsKeyFrame()) << s.name << " " << start;
            const auto a = PacketChecksums(out, "a:0");
            EXPECT_NE(std::search(audio.begin(), audio.end(), a.begin(), a.end()), audio.end())
                << s.name << " " << start;
            if (end == 0) {
                EXPECT_EQ(v, video) << s.name;
                EXPECT_EQ(a, audio) << s.name;
            }
            if (s.decodesCleanly) {
                EXPECT_TRUE(DecodesCleanly(out)) << s.name << " " << start;
            }
        }
    }
}
