// Reads every sample of an ASF file (WMV/WMA) through the reader and writes it
// through the writer, the way the extraction page copies a whole file, with
// deterministic ids so two runs can be compared byte for byte. Prints the time
// taken and the peak resident memory.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "media/wm/DecCompWMV.h"
#include "media/wm/EncCompWMV.h"

using namespace vt;

namespace {
AsfResult Forward(uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
                  const AsfSampleBuffer* sample, void*, void* user) {
    return static_cast<CEncCompWMV*>(user)->WriteSample(stream, time, duration, flags, sample);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s input.wmv output.wmv\n", argv[0]);
        return 2;
    }
    auto t0 = std::chrono::steady_clock::now();
    CDecCompWMV reader;
    CEncCompWMV writer;
    writer.SetDeterministicOutput(true);
    int r = reader.Open(argv[1], 0, ~0ull);
    if (!r) r = writer.Open(argv[2], reader.GetProfile().get());
    if (!r) {
        reader.SetSampleCallback(&Forward, &writer);
        r = reader.CopyHeader(writer.GetHeaderInfo());
    }
    if (!r) r = writer.StartWriting();
    if (!r) r = reader.Run();
    reader.Close();
    int f = writer.Finish();
    if (!r) r = f;
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    std::printf("result %d, %.2f s, peak RSS %ld KiB\n", r, secs, ru.ru_maxrss);
    return r ? 1 : 0;
}
