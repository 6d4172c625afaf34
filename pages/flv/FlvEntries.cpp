#include "pages/flv/FlvEntries.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "core/ErrorCodes.h"
#include "core/ShellHelpers.h"
#include "flv/FlvErrors.h"
#include "ops/OutputGuard.h"
#include "pages/flv/FlvOperations.h"

namespace vt {

namespace {

// The library counts unsigned 32-bit milliseconds. The hours field goes far
// beyond that (about 1193 hours); such a time lies past any FLV file, so it is
// held at the largest count instead of wrapping round to a time inside the file.
uint32_t FlvMilliseconds(const TimeFields& t) {
    return uint32_t(std::clamp<int64_t>(ToMilliseconds(t), 0, std::numeric_limits<uint32_t>::max()));
}

FlvSeparationPart PartOf(const OpJob& job) {
    return job.stream == SeparateStream::Audio ? FlvSeparationPart::Audio : FlvSeparationPart::Video;
}

}  // namespace

OpResult PrepareFlvSeparation(OpJob& job, OperationHost&) {
    if (job.inputs.empty()) return {};
    // As on the page, the audio's codec names the output: .aac for AAC, else .mp3.
    std::string output = FlvSeparationOutputPath(job.output, PartOf(job), job.inputs[0]);
    if (GetExtLower(output) == GetExtLower(job.output)) output = job.output;  // as given
    // The name checked against the inputs before may have changed.
    if (OutputNamesAnInput(output, job.inputs)) return {ErrorFromFlv(kFlvErrWriteOpen), output};
    job.output = output;
    return {};
}

OpResult RunFlvSeparationJob(const OpJob& job, OperationHost& host) {
    if (job.inputs.size() != 1) return kErrSave;
    return FlvSeparation(host, job.inputs[0], job.output, PartOf(job));
}

OpResult RunFlvConnectionJob(const OpJob& job, OperationHost& host) {
    if (job.inputs.size() != 1) return FlvConnection(host, job.inputs, job.output);
    CFlvHostProcess process(host);
    CFlvFile file;
    if (const int code = ErrorFromFlv(file.Open(job.inputs[0]))) return {code, job.inputs[0]};
    return ErrorFromFlv(file.SaveAs(job.output, &process));
}

OpResult RunFlvExtractionJob(const OpJob& job, OperationHost& host) {
    if (job.inputs.size() != 1) return kErrSave;
    return FlvExtraction(host, job.inputs[0], job.output, FlvMilliseconds(job.start),
                         job.end ? FlvMilliseconds(*job.end) : 0);
}

std::span<const OpEntry> FlvEntries() {
    static constexpr OpEntry kEntries[] = {
        {10, PrepareFlvSeparation, RunFlvSeparationJob},
        {11, nullptr, RunFlvConnectionJob},
        {12, nullptr, RunFlvExtractionJob},
    };
    return kEntries;
}

}  // namespace vt
