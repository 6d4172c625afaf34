// The command line's AVI operations: pages 0 to 3 (AVI separation, union, connection, extraction).
#include "cli/CliOperations.h"
#include "core/ErrorCodes.h"
#include "core/TimeFields.h"
#include "ops/OutputGuard.h"
#include "pages/avi/AviOperations.h"

namespace vt {

int RunAviOperation(const CliRequest& request, OperationHost& host) {
    const auto& in = request.inputs;
    switch (request.operation) {
    case Operation::Separate:
        if (in.size() != 1 || request.stream == SeparateStream::None) return kCliNotBuilt;
        DeleteExistingOutput(request.output);
        return request.stream == SeparateStream::Video ? SeparateAviVideo(in[0], request.output, host)
                                                       : SeparateAviAudio(in[0], request.output, host);
    case Operation::Union:
        if (in.size() != 2) return kCliNotBuilt;
        DeleteExistingOutput(request.output);
        return UnionAviStreams(in[0], in[1], request.output, host);
    case Operation::Join:
        if (in.empty()) return 0;  // nothing to join: the page's button does nothing either
        DeleteExistingOutput(request.output);
        return ConnectAviFiles(in, request.output, host);
    case Operation::Extract: {
        if (in.size() != 1) return kCliNotBuilt;
        SectionRange range;
        // The range the page fills when the file is loaded: its end by default.
        double rate = 0;
        const int r = ReadAviRange(in[0], range, &rate);
        if (r) return r;
        range.start = FromMilliseconds(request.startMs);
        if (request.endMs) range.end = FromMilliseconds(*request.endMs);
        DeleteExistingOutput(request.output);
        return ExtractAviSection(in[0], request.output, range, host);
    }
    }
    return kCliNotBuilt;
}

}  // namespace vt
