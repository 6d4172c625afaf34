#pragma once
// The Windows Media stream writer: writes compressed samples, as a reader
// delivers them, into a new ASF file whose profile comes from an input.
// Several threads may write samples at once. Qt-free.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/AsfWriter.h"
#include "platform/ByteIO.h"

namespace vt {

class CEncCompWMV {
  public:
    CEncCompWMV() = default;
    virtual ~CEncCompWMV();
    CEncCompWMV(const CEncCompWMV&) = delete;
    CEncCompWMV& operator=(const CEncCompWMV&) = delete;

    // Creates the writer for `path` with the streams of `profile`. Returns 0 or 8302.
    virtual int Open(const std::string& path, const AsfProfile* profile);
    // The writer's header, destination of the reader's header copying; valid
    // between Open and Finish (null otherwise).
    AsfHeaderInfo* GetHeaderInfo() { return writerHeaderInfo; }
    // Starts writing (the header goes to disk). Returns 0 or 8301; the time offset becomes 0.
    int StartWriting();
    // Writes one sample at its time plus the time offset.
    AsfResult WriteSample(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration, uint32_t flags,
                          const AsfSampleBuffer* sample);
    // Moves the samples written afterwards later by `duration` (100 ns).
    void AddTimeOffset(uint64_t duration) { timeOffset += duration; }
    uint64_t TimeOffset() const { return timeOffset; }
    // Ends writing and releases the writer; harmless without one.
    AsfResult Finish();

    // Fixed file id and creation date for the next Open, so equal inputs give equal files.
    void SetDeterministicOutput(bool on) { deterministic_ = on; }

  private:
    std::unique_ptr<AsfWriter> writer;
    AsfHeaderInfo* writerHeaderInfo = nullptr;
    uint64_t timeOffset = 0;
    bool deterministic_ = false;
};

}  // namespace vt
