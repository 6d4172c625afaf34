// The command line's WAV operations: pages 4 and 5 (WAV connection and extraction).
#include "cli/CliOperations.h"

namespace vt {

int RunWavOperation(const CliRequest& request, OperationHost& host) {
    (void)request;
    (void)host;
    return kCliNotBuilt;  // not built yet
}

}  // namespace vt
