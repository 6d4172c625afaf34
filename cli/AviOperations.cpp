// The command line's AVI operations: pages 0 to 3 (AVI separation, union, connection, extraction).
#include "cli/CliOperations.h"

namespace vt {

int RunAviOperation(const CliRequest& request, OperationHost& host) {
    (void)request;
    (void)host;
    return kCliNotBuilt;  // not built yet
}

}  // namespace vt
