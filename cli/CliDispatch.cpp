#include "cli/CliInfo.h"
#include "cli/CliOperations.h"

namespace vt {

int DispatchOperation(const CliRequest& request, OperationHost& host) {
    int page = request.pageNumber;
    if (request.dryRun) return RunExtractDryRun(request, host);
    if (request.operation == Operation::Join && !request.force) {
        const int refused = RefuseDifferingJoin(request, host);
        if (refused) return refused;
    }
    if (page >= 0 && page <= 3) return RunAviOperation(request, host);
    if (page == 4 || page == 5) return RunWavOperation(request, host);
    if (page >= 6 && page <= 9) return RunWmOperation(request, host);
    if (page >= 10 && page <= 12) return RunFlvOperation(request, host);
    return kCliNotBuilt;
}

}  // namespace vt
