#pragma once
// Helpers shared by the AVI tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "media/avi/DecMovie.h"
#include "media/avi/EncAVI.h"
#include "tests/common/TestSupport.h"

namespace vt::test {

// md5 of a whole stream copied out by ffmpeg (independent of how it is chunked).
inline std::string StreamMd5(const std::filesystem::path& file, const std::string& selector) {
    return vt::test::Run("ffmpeg -hide_banner -loglevel error -nostdin -i " + Q(file) +
                         " -map 0:" + selector + " -c copy -f md5 - 2>/dev/null")
        .out;
}

// The first `samples` samples of 16-bit stereo audio of `file`, read
// through our reader.
inline std::vector<uint8_t> StereoPcmOf(const std::filesystem::path& file, int32_t samples) {
    CDecWAV a;
    EXPECT_EQ(a.Open(file.string()), 0);
    std::vector<uint8_t> pcm(size_t(samples) * 4);
    int32_t got = 0;
    EXPECT_EQ(a.GetAudioStream()->Read(0, samples, pcm.data(), int32_t(pcm.size()), &got, nullptr), kAviOk);
    EXPECT_EQ(got, samples * 4);
    return pcm;
}

// Copies every video sample and all audio of `src` into `out` through a
// reader and the writer, the way the connection page does. Returns the first
// error code, 0 on success.
inline int CopyMovie(const std::filesystem::path& src, const std::filesystem::path& out,
                     const AviWriteOptions& options = {}) {
    CDecAVIAudio reader;
    int r = reader.Open(src.string());
    if (r) return r;
    void* fmt = nullptr;
    int fmtSize = 0;
    r = reader.ReadVideoFormat(&fmt, &fmtSize);
    if (r) {
        std::free(fmt);
        return r;
    }
    CEncAVIAudio writer;
    writer.SetWriteOptions(options);
    r = writer.CreateVideoStream(out.string(), *reader.GetVideoInfo(), fmt, fmtSize);
    std::free(fmt);
    if (r) return r;
    if (reader.HasAudio()) {
        r = writer.CreateAudioStream(reader.GetAudioFormat(), *reader.GetAudioInfo());
        if (r) return r;
    }
    CMemBuffBase<unsigned char> buf;
    int last = reader.GetLength() - 1;
    for (int p = reader.GetVideoStart(); p <= last;) {
        int samples = 0, bytes = 0;
        r = reader.ReadVideoSample(p, &samples, buf, &bytes);
        if (r) return r;
        r = writer.WriteVideoSamples(samples, buf.GetData(), bytes, reader.IsKeyFrame(p));
        if (r) return r;
        p += samples;
    }
    if (reader.HasAudio()) {
        r = writer.CopyAudio(reader.GetAudioStart(), reader.GetAudioStart() + reader.GetAudioLength(),
                             reader.GetAudioStream());
        if (r) return r;
    }
    reader.Close();
    writer.Close();
    return writer.LastCloseResult();
}

}  // namespace vt::test
