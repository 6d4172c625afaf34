// The command line's WAV operations: pages 4 and 5 (WAV connection and extraction).
#include "cli/CliOperations.h"
#include "core/ErrorCodes.h"
#include "core/TimeFields.h"
#include "ops/OutputGuard.h"
#include "pages/avi/AviOperations.h"

namespace vt {

int RunWavOperation(const CliRequest& request, OperationHost& host) {
    const auto& in = request.inputs;
    switch (request.operation) {
    case Operation::Join:
        if (in.empty()) return 0;  // nothing to join: the page's button does nothing either
        DeleteExistingOutput(request.output);
        return ConnectWavFiles(in, request.output, host);
    case Operation::Extract: {
        if (in.size() != 1) return kCliNotBuilt;
        SectionRange range;
        // The range the page fills when the file is loaded: its end by default.
        int r = ReadWavRange(in[0], range);
        if (r) {
            // The page names the file in this message.
            host.ReportError(in[0], r);
            return r;
        }
        range.start = FromMilliseconds(request.startMs);
        if (request.endMs) range.end = FromMilliseconds(*request.endMs);
        DeleteExistingOutput(request.output);
        r = ExtractWavSection(in[0], request.output, range, host);
        if (r) host.ReportError(in[0], r);
        return r;
    }
    default:
        return kCliNotBuilt;
    }
}

}  // namespace vt
