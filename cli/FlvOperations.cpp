// The command line's FLV operations: pages 10 to 12 (FLV separation, connection, extraction).
#include "cli/CliOperations.h"

namespace vt {

int RunFlvOperation(const CliRequest& request, OperationHost& host) {
    (void)request;
    (void)host;
    return kCliNotBuilt;  // not built yet
}

}  // namespace vt
