// The command line's FLV operations: pages 10 to 12 (FLV separation, connection, extraction).
#include "pages/flv/FlvOperations.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "cli/CliOperations.h"
#include "ops/OutputGuard.h"
#include "core/ShellHelpers.h"

namespace vt {

namespace {

// The time fields hold unsigned 32-bit milliseconds; longer times mean
// "past any FLV file".
uint32_t ClampMilliseconds(int64_t ms) {
    return uint32_t(std::clamp<int64_t>(ms, 0, std::numeric_limits<uint32_t>::max()));
}

// One file given to join: it is written again as it is, through the same save.
int CopyOneFlv(OperationHost& host, const std::string& input, const std::string& output) {
    CFlvHostProcess process(host);
    CFlvFile file;
    int result = file.Open(input);
    if (result == 0) result = file.SaveAs(output, &process);
    if (result != 0 && !host.StopRequested()) host.ReportError("", result);
    return result;
}

}  // namespace

int RunFlvOperation(const CliRequest& request, OperationHost& host) {
    if (request.operation == Operation::Separate) {
        // As on the page, the audio's codec names the output: .aac for AAC, else .mp3.
        const FlvSeparationPart part =
            request.stream == SeparateStream::Audio ? FlvSeparationPart::Audio : FlvSeparationPart::Video;
        std::string output = FlvSeparationOutputPath(request.output, part, request.inputs.at(0));
        if (GetExtLower(output) == GetExtLower(request.output)) output = request.output;  // as given
        // The name checked against the inputs before the run may have changed.
        if (OutputNamesAnInput(output, request.inputs)) {
            host.ReportError(output, kFlvErrWriteOpen);
            return kFlvErrWriteOpen;
        }
        DeleteExistingOutput(output);
        return RunFlvSeparation(host, request.inputs.at(0), output, part);
    }
    DeleteExistingOutput(request.output);
    switch (request.operation) {
        case Operation::Separate:
            break;  // above
        case Operation::Join:
            if (request.inputs.size() == 1) return CopyOneFlv(host, request.inputs[0], request.output);
            return RunFlvConnection(host, request.inputs, request.output);
        case Operation::Extract:
            return RunFlvExtraction(host, request.inputs.at(0), request.output,
                                    ClampMilliseconds(request.startMs),
                                    request.endMs ? ClampMilliseconds(*request.endMs) : 0);
        case Operation::Union:
            break;  // FLV has no union page; the arguments never ask for it
    }
    return kCliNotBuilt;
}

}  // namespace vt
