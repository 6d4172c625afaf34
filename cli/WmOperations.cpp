// The command line's WMV/WMA operations: pages 6 to 9 (WMV separation and union, WMV/WMA connection and
// extraction), the same operations the pages run, waited for here.
#include "pages/wm/WmOperations.h"

#include "cli/CliOperations.h"
#include "core/ErrorCodes.h"
#include "ops/OutputGuard.h"

namespace vt {

namespace {

// The command line's running state: the request is the job.
class CliWmFrontEnd : public WmFrontEnd {
  public:
    CliWmFrontEnd(OperationHost& host, WmJob job) : host_(host), job_(std::move(job)) {}
    OperationHost& Host() override { return host_; }
    bool BeginOperation(WmJob& job) override {
        DeleteExistingOutput(job_.output);
        job = job_;
        return true;
    }
    void EndOperation() override {}

  private:
    OperationHost& host_;
    WmJob job_;
};

}  // namespace

int RunWmOperation(const CliRequest& request, OperationHost& host) {
    WmJob job;
    job.inputs = request.inputs;
    job.output = request.output;
    switch (request.operation) {
        case Operation::Separate: {
            if (request.stream == SeparateStream::None) return kCliNotBuilt;
            CliWmFrontEnd frontEnd(host, job);
            CWmSeparation op;
            op.Start(frontEnd, request.stream == SeparateStream::Video);
            op.Wait();
            return op.Result();
        }
        case Operation::Union: {
            CliWmFrontEnd frontEnd(host, job);
            CWmUnion op;
            op.Start(frontEnd);
            op.Wait();
            return op.Result();
        }
        case Operation::Join: {
            CliWmFrontEnd frontEnd(host, job);
            CWmConnection op;
            op.Start(frontEnd, job.inputs.empty());
            op.Wait();
            return op.Result();
        }
        case Operation::Extract: {
            CWmExtraction op;
            op.RouteDiagnostics(host);
            job.rangeStart = request.startMs < 0 ? 0 : uint64_t(request.startMs) * 10000;
            if (request.endMs) {
                job.rangeEnd = *request.endMs < 0 ? 0 : uint64_t(*request.endMs) * 10000;
            } else {
                // To the end, as the page proposes it: the duration to the millisecond.
                int code = 0;
                const uint64_t duration = job.inputs.empty() ? 0 : op.ReadDuration(job.inputs.front(), &code);
                if (job.inputs.empty() || code != 0) return kErrWmOpen;
                job.rangeEnd = WmRangeTime(WmDurationFields(duration));
            }
            CliWmFrontEnd frontEnd(host, job);
            op.Start(frontEnd);
            op.Wait();
            return op.Result();
        }
    }
    return kCliNotBuilt;
}

}  // namespace vt
