#include "pages/flv/FlvOperations.h"

#include <memory>

#include "core/ShellHelpers.h"

namespace vt {

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
    // An input that does not open is named by the message.
    if (const int code = ErrorFromFlv(file.Open(input))) return {code, input};
    const int code = ErrorFromFlv(part == FlvSeparationPart::Video ? file.SaveAVI(output, &process)
                                                                   : file.SaveAudio(output, &process));
    return {code, code != 0 ? file.GetLastErrorDetail() : std::string()};
}

OpResult FlvConnection(OperationHost& host, const std::vector<std::string>& inputs,
                       const std::string& output) {
    if (inputs.size() < 2) return {};
    CFlvHostProcess process(host);
    CFlvFile first;
    if (const int code = ErrorFromFlv(first.Open(inputs[0]))) return {code, inputs[0]};

    // Each further file's index moves into the first's as it is appended;
    // the joined file reads the files through it.
    int laterError = 0;
    std::string laterPath;
    for (size_t i = 1; i < inputs.size(); ++i) {
        CFlvFile file;
        int code = ErrorFromFlv(file.Open(inputs[i]));
        if (code == 0) code = ErrorFromFlv(first.Add(&file, true, true));
        if (code != 0) {
            laterError = code;
            laterPath = inputs[i];
            // A file that does not fit says why, below its name.
            if (code == ErrorFromFlv(first.GetLastError()) && !first.GetLastErrorDetail().empty())
                laterPath += "\n" + first.GetLastErrorDetail();
            break;
        }
    }
    if (const int code = ErrorFromFlv(first.SaveAs(output, &process))) return code;
    // What could be joined is written; the user still learns which file was
    // left out, and that the files after it were not joined either.
    return {laterError, laterPath};
}

OpResult FlvExtraction(OperationHost& host, const std::string& input, const std::string& output,
                       uint32_t startMs, uint32_t endMs) {
    CFlvHostProcess process(host);
    CFlvFile file;
    if (const int code = ErrorFromFlv(file.Open(input))) return {code, input};
    int code = ErrorFromFlv(file.Extract(startMs, endMs));
    if (code == 0) code = ErrorFromFlv(file.SaveAs(output, &process));
    return code;
}

}  // namespace vt
