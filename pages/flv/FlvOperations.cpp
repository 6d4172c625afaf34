#include "pages/flv/FlvOperations.h"

#include <memory>

#include "core/ShellHelpers.h"

namespace vt {

namespace {

// Shows a failure once, unless the user stopped the operation: the code that
// an aborted save returns is not news to anyone.
int Finish(OperationHost& host, const OpResult& r) {
    if (r.code != 0 && !host.StopRequested()) host.ReportError(r.detail, r.code);
    return r.code;
}

}  // namespace

int CFlvHostProcess::OnProgress(uint32_t done, uint32_t total) {
    double percent = total ? double(done) / double(total) * 100.0 : 0.0;
    return host_.Tick(percent);
}

std::string FlvSeparationOutputPath(const std::string& output, FlvSeparationPart part,
                                    const std::string& input) {
    if (part == FlvSeparationPart::Video) return GetPathNoExt(output) + ".avi";
    CFlvFile file;
    const bool readable = !input.empty() && file.Open(input) == 0;
    return GetPathNoExt(output) + (readable ? file.AudioExtension() : std::string(".mp3"));
}

OpResult FlvSeparation(OperationHost& host, const std::string& input, const std::string& output,
                       FlvSeparationPart part) {
    CFlvHostProcess process(host);
    CFlvFile file;
    int result = file.Open(input);
    // An input that does not open is named by the message.
    if (result != 0) return {result, input};
    result =
        part == FlvSeparationPart::Video ? file.SaveAVI(output, &process) : file.SaveAudio(output, &process);
    return {result, result != 0 ? file.GetLastErrorDetail() : std::string()};
}

OpResult FlvConnection(OperationHost& host, const std::vector<std::string>& inputs,
                       const std::string& output) {
    if (inputs.size() < 2) return {};
    CFlvHostProcess process(host);
    CFlvFile first;
    int result = first.Open(inputs[0]);
    if (result != 0) return {result, inputs[0]};

    // Each further file's index moves into the first's as it is appended;
    // the joined file reads the files through it.
    int laterError = 0;
    std::string laterPath;
    for (size_t i = 1; i < inputs.size(); ++i) {
        CFlvFile file;
        int code = file.Open(inputs[i]);
        if (code == 0) code = first.Add(&file, true, true);
        if (code != 0) {
            laterError = code;
            laterPath = inputs[i];
            // A file that does not fit says why, below its name.
            if (code == first.GetLastError() && !first.GetLastErrorDetail().empty())
                laterPath += "\n" + first.GetLastErrorDetail();
            break;
        }
    }
    result = first.SaveAs(output, &process);
    if (result != 0) return result;
    // What could be joined is written; the user still learns which file was
    // left out, and that the files after it were not joined either.
    return {laterError, laterPath};
}

OpResult FlvExtraction(OperationHost& host, const std::string& input, const std::string& output,
                       uint32_t startMs, uint32_t endMs) {
    CFlvHostProcess process(host);
    CFlvFile file;
    int result = file.Open(input);
    if (result != 0) return {result, input};
    result = file.Extract(startMs, endMs);
    if (result == 0) result = file.SaveAs(output, &process);
    return result;
}

int RunFlvSeparation(OperationHost& host, const std::string& input, const std::string& output,
                     FlvSeparationPart part) {
    return Finish(host, FlvSeparation(host, input, output, part));
}

int RunFlvConnection(OperationHost& host, const std::vector<std::string>& inputs, const std::string& output) {
    return Finish(host, FlvConnection(host, inputs, output));
}

int RunFlvExtraction(OperationHost& host, const std::string& input, const std::string& output,
                     uint32_t startMs, uint32_t endMs) {
    return Finish(host, FlvExtraction(host, input, output, startMs, endMs));
}

}  // namespace vt
