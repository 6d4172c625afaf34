#include "media/wm/EncCompWMV.h"

#include "core/ErrorCodes.h"
#include "media/wm/WmErrors.h"

namespace vt {

CEncCompWMV::~CEncCompWMV() {
    Finish();
}

int CEncCompWMV::Open(const std::string& path, const AsfProfile* profile) {
    Finish();  // a writer left from an earlier operation is completed first
    if (!profile) return kErrWmOutput;
    writer = std::make_unique<AsfWriter>();
    writerHeaderInfo = &writer->HeaderInfo();
    writer->SetDeterministic(deterministic_);
    AsfResult hr = writer->SetProfile(*profile);
    if (asf::Succeeded(hr)) hr = writer->SetOutputFilename(path);
    return ErrorFromAsf(hr, kErrWmOutput);
}

int CEncCompWMV::StartWriting() {
    if (!writer) return kErrWmEncInit;
    if (const int code = ErrorFromAsf(writer->BeginWriting(), kErrWmEncInit)) return code;
    timeOffset = 0;
    return kOk;
}

AsfResult CEncCompWMV::WriteSample(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                   uint32_t flags, const AsfSampleBuffer* sample) {
    if (!writer) return asf::kInvalidRequest;
    if (!sample) return asf::kInvalidArg;
    return writer->WriteStreamSample(streamNumber, sampleTime + timeOffset, sampleDuration, flags, *sample);
}

AsfResult CEncCompWMV::Finish() {
    if (!writer) return asf::kOk;
    AsfResult hr = writer->EndWriting();
    writerHeaderInfo = nullptr;
    writer.reset();
    return hr;
}

}  // namespace vt
