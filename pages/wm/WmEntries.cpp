#include "pages/wm/WmEntries.h"

#include "core/ErrorCodes.h"
#include "pages/wm/WmOperations.h"

namespace vt {

namespace {

// A front end that runs one fixed job and keeps its outcome for the caller,
// who reports it.
class JobFrontEnd : public WmFrontEnd {
  public:
    JobFrontEnd(OperationHost& host, const OpJob& job) : host_(host), onRealStart_(job.onRealStart) {
        job_.inputs = job.inputs;
        job_.output = job.output;
        job_.rangeStart = WmRangeTime(job.start);
        job_.rangeEnd = job.end ? WmRangeTime(*job.end) : 0;
    }
    OperationHost& Host() override { return host_; }
    bool BeginOperation(WmJob& job) override {
        job = job_;
        return true;
    }
    void ReportResult(const OpResult&) override {}
    void EndOperation() override {}
    void RealStart(uint64_t start) override {
        if (onRealStart_) onRealStart_(WmDurationFields(start));
    }

  private:
    OperationHost& host_;
    WmJob job_;
    std::function<void(const TimeFields&)> onRealStart_;
};

// Starts the operation, waits for its workers, and returns its outcome.
template <class Op, class... Args>
OpResult RunToEnd(const OpJob& job, OperationHost& host, Args... args) {
    JobFrontEnd frontEnd(host, job);
    Op op;
    op.Start(frontEnd, args...);
    op.Wait();
    return op.Outcome();
}

}  // namespace

OpResult RunWmSeparationJob(const OpJob& job, OperationHost& host) {
    if (job.stream == SeparateStream::None) return kErrSave;
    return RunToEnd<CWmSeparation>(job, host, job.stream == SeparateStream::Video);
}

OpResult RunWmUnionJob(const OpJob& job, OperationHost& host) {
    return RunToEnd<CWmUnion>(job, host);
}

OpResult RunWmConnectionJob(const OpJob& job, OperationHost& host) {
    return RunToEnd<CWmConnection>(job, host, job.inputs.empty());
}

OpResult PrepareWmExtraction(OpJob& job, OperationHost& host) {
    if (job.end) return {};
    if (job.inputs.empty()) return kErrWmOpen;
    CWmExtraction op;
    op.RouteDiagnostics(host);
    int code = 0;
    const uint64_t duration = op.ReadDuration(job.inputs.front(), &code);
    // An input that does not open is named by the message.
    if (code != 0) return {kErrWmOpen, job.inputs.front()};
    job.end = WmDurationFields(duration);
    return {};
}

OpResult RunWmExtractionJob(const OpJob& job, OperationHost& host) {
    return RunToEnd<CWmExtraction>(job, host);
}

std::span<const OpEntry> WmEntries() {
    static constexpr OpEntry kEntries[] = {
        {kWmSeparationPage, nullptr, RunWmSeparationJob},
        {kWmUnionPage, nullptr, RunWmUnionJob},
        {kWmConnectionPage, nullptr, RunWmConnectionJob},
        {kWmExtractionPage, PrepareWmExtraction, RunWmExtractionJob},
    };
    return kEntries;
}

void WmEntryRun::Start(int pageNumber, WmEntryFrontEnd& frontEnd) {
    const OpEntry* entry = FindEntry(WmEntries(), pageNumber);
    if (!entry || busy_.exchange(true)) return;
    if (thread_.joinable()) thread_.join();  // a run that has ended
    thread_ = std::thread([this, entry, &frontEnd] {
        OpJob job;
        if (frontEnd.BeginOperation(job)) frontEnd.EndOperation(entry->run(job, frontEnd.Host()));
        busy_ = false;
    });
}

void WmEntryRun::Wait() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace vt
