#pragma once
// `vantorel-cli info FILE...`: what each file holds, as text or JSON, and
// `extract --dry-run`: the section an extraction would write. Qt-free.
#include <string>
#include <vector>

#include "cli/CliOperations.h"

namespace vt {

// True when the first operand of the arguments is "info".
bool IsInfoCommand(const std::vector<std::string>& args);
// Runs `info` and returns the exit status (0, 1 when a file could not be
// read, 2 for a usage error). Prints to standard output.
int RunInfoCommand(const std::vector<std::string>& args);

// Prints the section that the extraction of the request would write (start
// moved to the key frame, end as clamped, packets and bytes) on standard
// output, and writes nothing. 0 or the error code of the input's open step.
int RunExtractDryRun(const CliRequest& request, OperationHost& host);

// An AVI or WAV join whose files differ from the first (JoinDifferences):
// error 1 with the differences as its detail; code 0 when they match.
OpResult RefuseDifferingJoin(const CliRequest& request);

}  // namespace vt
