#include <cstdio>

#include "cli/CliInfo.h"
#include "cli/CliOperations.h"
#include "core/ErrorCodes.h"
#include "ops/OutputGuard.h"
#include "pages/avi/AviEntries.h"
#include "pages/flv/FlvEntries.h"
#include "pages/wm/WmEntries.h"
#include "verify/VerifyOutput.h"

namespace vt {

OpJob JobOfRequest(const CliRequest& request) {
    OpJob job;
    job.operation = request.operation;
    job.stream = request.stream;
    job.inputs = request.inputs;
    job.output = request.output;
    job.start = FromMilliseconds(request.startMs);
    if (request.endMs) job.end = FromMilliseconds(*request.endMs);
    return job;
}

OpResult DispatchOperation(const CliRequest& request, OperationHost& host) {
    const OpEntry* entry = nullptr;
    for (std::span<const OpEntry> table : {AviEntries(), WmEntries(), FlvEntries()})
        if (!entry) entry = FindEntry(table, request.pageNumber);
    if (!entry) return kErrSave;  // the parser only makes pages that exist
    if (request.dryRun) return RunExtractDryRun(request, host);
    if (request.operation == Operation::Join && !request.force) {
        OpResult refused = RefuseDifferingJoin(request);
        if (refused.code != 0) return refused;
    }
    OpJob job = JobOfRequest(request);
    if (entry->prepare) {
        OpResult prepared = entry->prepare(job, host);
        if (prepared.code != 0) return prepared;
    }
    DeleteExistingOutput(job.output);
    OpResult result = entry->run(job, host);
    if (result.code != 0 || !request.verify || host.StopRequested()) return result;
    // The output read back and compared with the inputs; a difference fails the run.
    const VerifyResult verified =
        VerifyOutput(job, request.format, [&host] { return !host.StopRequested(); });
    if (verified.stopped) return result;  // Ctrl-C: the run reports itself stopped
    if (!verified.ok) return {1, verified.Summary()};
    std::printf("%s\n", verified.Summary().c_str());
    std::fflush(stdout);
    return result;
}

}  // namespace vt
