// The command line's WMV/WMA operations: pages 6 to 9 (WMV separation and union, WMV/WMA connection and
// extraction).
#include "cli/CliOperations.h"

namespace vt {

int RunWmOperation(const CliRequest& request, OperationHost& host) {
    (void)request;
    (void)host;
    return kCliNotBuilt;  // not built yet
}

}  // namespace vt
