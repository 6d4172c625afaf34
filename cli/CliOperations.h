#pragma once
// What the command line hands to an operation family, and the one function
// per family that runs it. Each family's function lives in its own file
// (AviOperations.cpp, WavOperations.cpp, WmOperations.cpp, FlvOperations.cpp);
// replacing a stub there (and linking the family's library in
// cli/CMakeLists.txt) is all it takes to plug a family in. Qt-free.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/OperationHost.h"
#include "ops/PageTable.h"

namespace vt {

// Returned by a family that cannot run the request yet: the command line
// exits with status 2 and says the operation is not available yet.
inline constexpr int kCliNotBuilt = -1000000;

enum class SeparateStream { None, Video, Audio };

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
};

// Each runs one request against the host and returns 0 or an error code
// (core/ErrorCodes.h), or kCliNotBuilt. A family reports progress and tests
// StopRequested through the host like the page does; it may report its error
// itself (ReportError prints once), otherwise the command line reports the
// returned code. Like the page's BeginOperation, a family deletes an existing
// output file when it starts. It returns only when the operation has ended
// (worker threads joined).
int RunAviOperation(const CliRequest& request, OperationHost& host);  // pages 0 to 3
int RunWavOperation(const CliRequest& request, OperationHost& host);  // pages 4 and 5
int RunWmOperation(const CliRequest& request, OperationHost& host);   // pages 6 to 9
int RunFlvOperation(const CliRequest& request, OperationHost& host);  // pages 10 to 12

// Picks the family of the request's page number.
int DispatchOperation(const CliRequest& request, OperationHost& host);

}  // namespace vt
