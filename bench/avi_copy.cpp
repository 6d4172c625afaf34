// Reads every sample of an AVI file through the reader and writes it through
// the writer (video samples with their key-frame flags, then the audio), the
// way the connection page copies a file. Prints the time taken and the peak
// resident memory.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "media/avi/DecMovie.h"
#include "media/avi/EncAVI.h"

using namespace vt;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s input.avi output.avi\n", argv[0]);
        return 2;
    }
    auto t0 = std::chrono::steady_clock::now();
    CDecAVIAudio reader;
    int r = reader.Open(argv[1]);
    if (r) {
        std::fprintf(stderr, "open failed: %d\n", r);
        return 1;
    }
    void* fmt = nullptr;
    int fmtSize = 0;
    r = reader.ReadVideoFormat(&fmt, &fmtSize);
    CEncAVIAudio writer(NoAviSettingStore());
    if (!r) r = writer.CreateVideoStream(argv[2], *reader.GetVideoInfo(), fmt, fmtSize);
    std::free(fmt);
    if (!r && reader.HasAudio())
        r = writer.CreateAudioStream(reader.GetAudioFormat(), *reader.GetAudioInfo());
    CMemBuffBase<unsigned char> buf;
    long long frames = 0, bytes = 0;
    for (int p = reader.GetVideoStart(); !r && p < reader.GetVideoStart() + reader.GetLength();) {
        int samples = 0, n = 0;
        r = reader.ReadVideoSample(p, &samples, buf, &n);
        if (!r) r = writer.WriteVideoSamples(samples, buf.GetData(), n, reader.IsKeyFrame(p));
        p += samples;
        ++frames;
        bytes += n;
    }
    if (!r && reader.HasAudio())
        r = writer.CopyAudio(reader.GetAudioStart(), reader.GetAudioStart() + reader.GetAudioLength(),
                             reader.GetAudioStream());
    reader.Close();
    writer.Close();
    if (!r) r = writer.LastCloseResult();
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    std::printf("result %d, %lld video samples, %.1f MiB video, %.2f s, peak RSS %ld KiB\n", r, frames,
                double(bytes) / (1 << 20), secs, ru.ru_maxrss);
    return r ? 1 : 0;
}
