#pragma once
// The Windows Media stream reader: hands every compressed sample of an ASF
// file (WMV, WMA) within a time range to a page's callback, and supplies the
// profile, duration and header information a writer needs. Qt-free.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/AsfReader.h"
#include "platform/ByteIO.h"

namespace vt {

// Where the reader's samples go. Arguments: stream number, sample time
// relative to the range start (100 ns), duration (100 ns), sample flags,
// the sample, the reader context (always null), the user pointer given to
// SetSampleCallback. Returns 0 to go on, a positive value to end the run
// without error, a negative ASF result to end it with that error.
using SampleCallback = AsfResult (*)(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                     uint32_t flags, const AsfSampleBuffer* sample, void* context,
                                     void* user);

// The reader's state and its sample sink: applies the range and calls the callback.
class CWMVCopy final : public IAsfSampleSink {
  public:
    CWMVCopy() = default;
    AsfResult OnStreamSample(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                             uint32_t flags, const AsfSampleBuffer& sample) override;

    std::unique_ptr<AsfReader> reader;
    AsfHeaderInfo* readerHeaderInfo = nullptr;
    std::shared_ptr<AsfProfile> readerProfile;
    uint32_t streamCount = 0;
    std::vector<Guid> streamTypes;
    std::vector<uint16_t> streamNumbers;
    AsfResult asyncResult = asf::kOk;
    bool endOfFile = false;
    uint64_t rangeStart = 0;
    uint64_t rangeEnd = 0;  // 0: no end
    uint64_t duration = 0;
    // How far a later sample of the file may lie before an earlier one (the
    // preroll): the run ends only when no sample in range can follow.
    uint64_t lookahead = 0;
    SampleCallback sampleCallback = nullptr;
    void* callbackUser = nullptr;
};

// Where the reader's diagnostic lines go (without their line feed).
using DiagnosticSink = std::function<void(const std::string& line)>;

class CDecCompWMV {
  public:
    CDecCompWMV() = default;
    virtual ~CDecCompWMV();
    CDecCompWMV(const CDecCompWMV&) = delete;
    CDecCompWMV& operator=(const CDecCompWMV&) = delete;

    // Opens the file and reads its stream table, profile and duration.
    // Returns 0 or 8201. Closes what an earlier call opened.
    int Open(const std::string& path, uint64_t rangeStart, uint64_t rangeEnd);

    uint32_t StreamCount() const { return copy_.streamCount; }
    const std::vector<Guid>& StreamTypes() const { return copy_.streamTypes; }
    const std::vector<uint16_t>& StreamNumbers() const { return copy_.streamNumbers; }

    // The reader's profile (with enlarged buffer windows): the very object the
    // reader holds, so a page's changes are seen by everyone who holds it.
    std::shared_ptr<AsfProfile> GetProfile() const { return copy_.readerProfile; }
    uint64_t GetDuration() const { return copy_.duration; }
    // The file ends inside its data (cut short): a run delivers the samples
    // of its whole packets and ends there, and the duration its header states
    // goes beyond what it holds.
    bool Truncated() const { return copy_.reader && copy_.reader->Truncated(); }
    void SetSampleCallback(SampleCallback callback, void* user);
    // Where the diagnostics of Open and CopyHeader go; without a sink they are
    // written on standard output. Set it while no Open or Run is under way.
    void SetDiagnosticSink(DiagnosticSink sink) { diagnostics_ = std::move(sink); }

    // Copies every stream's and the file's attributes, the codec descriptions
    // and the script commands into `destination`. Returns 0 or 8202.
    int CopyHeader(AsfHeaderInfo* destination);
    // Copies the attributes of one stream number (0: the file). Attributes the
    // destination refuses with kInvalidArg are skipped. A null destination only reads.
    AsfResult CopyStreamAttributes(AsfHeaderInfo* destination, uint16_t streamNumber) {
        return CopyStreamAttributes(destination, streamNumber, streamNumber);
    }
    // The same, for a stream that carries another number in the output:
    // its attributes are written under `outputNumber`.
    AsfResult CopyStreamAttributes(AsfHeaderInfo* destination, uint16_t streamNumber, uint16_t outputNumber);
    // Copies the audio or the video codec descriptions, after the major type.
    AsfResult CopyCodecInfo(AsfHeaderInfo* destination, const Guid& majorType);

    // Delivers the samples of the range to the callback, then closes the file.
    // Returns 0 or 8203.
    int Run();
    // The same run in steps, for a caller that interleaves readers on one
    // thread: StartRun (0 or 8203), then RunStep until it returns false (each
    // step reads one data packet and delivers its samples), then FinishRun,
    // which returns what Run would have. The samples a step delivers keep
    // their bytes until the next step of this reader or its Close.
    int StartRun();
    bool RunStep();
    int FinishRun();
    void Close();

    const CWMVCopy& Copier() const { return copy_; }

  private:
    AsfResult CreateReader(const std::string& path);
    AsfResult ReadProfileInfo();
    void Diag(const char* format, AsfResult hr = asf::kOk) const;

    CWMVCopy copy_;
    DiagnosticSink diagnostics_;
    AsfResult stepResult_ = asf::kOk;  // of the stepwise run
};

// Enlarges each stream's buffer window by the window of the first stream of
// the same VBR flag whose media type matches it (normally the stream itself,
// doubling the window).
AsfResult EnlargeBufferWindows(AsfProfile& profile);

}  // namespace vt
