#pragma once
// What the command line hands to the operations: the request its arguments
// make, and the dispatcher that turns it into a job (ops/OpContract.h) and
// runs it through the entry table of its page's family. Qt-free.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/OperationHost.h"
#include "ops/OpContract.h"
#include "ops/PageTable.h"

namespace vt {

struct CliRequest {
    int pageNumber = -1;  // the page of the format and operation (page table)
    int format = -1;      // format selector data: kFormatAvi .. kFormatFlv
    Operation operation = Operation::Join;
    // separate, extract: the input; union: video source, audio source;
    // join: the files in join order.
    std::vector<std::string> inputs;
    // The final output path. When the user gave none it is the name the page
    // proposes, with the separation's output extension already applied; a
    // given one is taken as it is. It never names one of the inputs.
    std::string output;
    SeparateStream stream = SeparateStream::None;  // separate only
    int64_t startMs = 0;                           // extract only
    std::optional<int64_t> endMs;                  // extract only; none: to the input's end
    bool dryRun = false;                           // extract only: print the section, write nothing
    bool force = false;                            // join only: join files that differ from the first
    // After a successful run: read the output back and compare its packets
    // with the inputs' (verify/VerifyOutput.h).
    bool verify = false;
};

// The job of a request.
OpJob JobOfRequest(const CliRequest& request);

// The command line's start step, as the page's: the job is completed by its
// entry's preparation, an existing output is deleted, then the entry runs.
// Returns the outcome; it reports nothing (the caller does, once). Returns
// only when the operation has ended (worker threads joined).
OpResult DispatchOperation(const CliRequest& request, OperationHost& host);

}  // namespace vt
