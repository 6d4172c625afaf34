#include "pages/avi/AviEntries.h"

#include "core/ErrorCodes.h"
#include "media/avi/DecMovie.h"
#include "pages/avi/AviOperations.h"
#include "pages/avi/OpenFailure.h"

namespace vt {

OpResult RunAviSeparation(const OpJob& job, OperationHost& host) {
    if (job.inputs.size() != 1 || job.stream == SeparateStream::None) return kErrSave;
    const std::string& input = job.inputs[0];
    OpResult r = job.stream == SeparateStream::Video ? OpResult(SeparateAviVideo(input, job.output, host))
                                                     : AviAudioSeparation(input, job.output, host);
    // An explained failure (the size limit of a WAV file) keeps its detail text.
    if (r.detail.empty() && IsOpenFailure(r.code)) r.detail = input;
    return r;
}

OpResult RunAviUnion(const OpJob& job, OperationHost& host) {
    if (job.inputs.size() != 2) return kErrSave;
    const int r = UnionAviStreams(job.inputs[0], job.inputs[1], job.output, host);
    if (r == 0) return {};
    // The video source opens first, then the audio source.
    std::string detail = OpenFailureDetail<CDecAVI>(r, {job.inputs[0]});
    if (detail.empty()) detail = OpenFailureDetail<CDecWAV>(r, {job.inputs[1]});
    return {r, detail};
}

OpResult RunAviConnection(const OpJob& job, OperationHost& host) {
    if (job.inputs.empty()) return {};  // nothing to join
    const int r = ConnectAviFiles(job.inputs, job.output, host);
    return {r, r ? OpenFailureDetail<CDecAVIAudio>(r, job.inputs) : std::string()};
}

OpResult PrepareAviExtraction(OpJob& job, OperationHost&) {
    if (job.inputs.size() != 1) return {};
    // Read as the page reads a file it is given: one that does not open ends
    // the job here.
    SectionRange range;
    double rate = 0;
    const int r = ReadAviRange(job.inputs[0], range, &rate);
    if (r) return {r, IsOpenFailure(r) ? job.inputs[0] : std::string()};
    if (!job.end) job.end = range.end;
    return {};
}

OpResult RunAviExtraction(const OpJob& job, OperationHost& host) {
    if (job.inputs.size() != 1) return kErrSave;
    const SectionRange range{job.start, job.end.value_or(TimeFields{})};
    const int r = ExtractAviSection(job.inputs[0], job.output, range, host, job.onRealStart);
    return {r, IsOpenFailure(r) ? job.inputs[0] : std::string()};
}

OpResult RunWavConnection(const OpJob& job, OperationHost& host) {
    if (job.inputs.empty()) return {};  // nothing to join
    OpResult r = WavConnection(job.inputs, job.output, host);
    if (r.code && r.detail.empty()) r.detail = OpenFailureDetail<CDecWAV>(r.code, job.inputs);
    return r;
}

OpResult PrepareWavExtraction(OpJob& job, OperationHost&) {
    if (job.inputs.size() != 1) return {};
    SectionRange range;
    const int r = ReadWavRange(job.inputs[0], range);
    // The message names the file.
    if (r) return {r, job.inputs[0]};
    if (!job.end) job.end = range.end;
    return {};
}

OpResult RunWavExtraction(const OpJob& job, OperationHost& host) {
    if (job.inputs.size() != 1) return kErrSave;
    const SectionRange range{job.start, job.end.value_or(TimeFields{})};
    OpResult r = WavExtraction(job.inputs[0], job.output, range, host);
    // The message names the file (an explained failure already does).
    if (r.code && r.detail.empty()) r.detail = job.inputs[0];
    return r;
}

std::span<const OpEntry> AviEntries() {
    static constexpr OpEntry kEntries[] = {
        {0, nullptr, RunAviSeparation}, {1, nullptr, RunAviUnion},
        {2, nullptr, RunAviConnection}, {3, PrepareAviExtraction, RunAviExtraction},
        {4, nullptr, RunWavConnection}, {5, PrepareWavExtraction, RunWavExtraction},
    };
    return kEntries;
}

}  // namespace vt
