#include "media/wm/EncCompWMV.h"

#include "core/ErrorCodes.h"

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
    if (asf::Failed(writer->SetProfile(*profile)) || asf::Failed(writer->SetOutputFilename(path)))
        return kErrWmOutput;
    return kOk;
}

int CEncCompWMV::StartWriting() {
    if (!writer || asf::Failed(writer->BeginWriting())) return kErrWmEncInit;
    timeOffset = 0;
    return kOk;
}

HResult CEncCompWMV::WriteSample(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                 uint32_t flags, const AsfSampleBuffer* sample) {
    if (!writer) return asf::kInvalidRequest;
    if (!sample) return asf::kInvalidArg;
    return writer->WriteStreamSample(streamNumber, sampleTime + timeOffset, sampleDuration, flags,
                                     std::span<const uint8_t>(sample->Data(), sample->Length()));
}

HResult CEncCompWMV::Finish() {
    if (!writer) return asf::kOk;
    HResult hr = writer->EndWriting();
    writerHeaderInfo = nullptr;
    writer.reset();
    return hr;
}

}  // namespace vt
