#pragma once
// The WMV/WMA pages' operations in the one operation shape (ops/OpContract.h),
// run to their end: pages 6 to 9 (separation, union, connection, extraction).
// The command line runs them directly; the pages start them without waiting
// (WmEntryRun), on a thread of their own. Qt-free.
#include <atomic>
#include <span>
#include <thread>

#include "ops/OpContract.h"

namespace vt {

enum WmPageNumber : int {
    kWmSeparationPage = 6,
    kWmUnionPage = 7,
    kWmConnectionPage = 8,
    kWmExtractionPage = 9,
};

OpResult RunWmSeparationJob(const OpJob& job, OperationHost& host);
OpResult RunWmUnionJob(const OpJob& job, OperationHost& host);
OpResult RunWmConnectionJob(const OpJob& job, OperationHost& host);
// The end of range an extraction without one takes: the input's duration to
// the millisecond, as the page shows it.
OpResult PrepareWmExtraction(OpJob& job, OperationHost& host);
OpResult RunWmExtractionJob(const OpJob& job, OperationHost& host);

// Pages 6 to 9.
std::span<const OpEntry> WmEntries();

// A page's side of a run it starts through its entry.
class WmEntryFrontEnd {
  public:
    virtual ~WmEntryFrontEnd() = default;
    virtual OperationHost& Host() = 0;
    // Enters the running state and fills `job` from the page's fields as they
    // are now. False when the run is refused (nothing else happens then). Any thread.
    virtual bool BeginOperation(OpJob& job) = 0;
    // Reports how the run ended, once, and leaves the running state. Any thread.
    virtual void EndOperation(const OpResult& result) = 0;
};

// Starts a page's entry without waiting: on a thread of its own the front end
// begins the run and gives the job, the entry of the page number (WmEntries)
// runs it to its end on its worker threads, and the front end reports the
// outcome. The page's thread stays free meanwhile.
class WmEntryRun {
  public:
    WmEntryRun() = default;
    WmEntryRun(const WmEntryRun&) = delete;
    WmEntryRun& operator=(const WmEntryRun&) = delete;
    ~WmEntryRun() { Wait(); }
    // Does nothing while a run started before has not ended.
    void Start(int pageNumber, WmEntryFrontEnd& frontEnd);
    // True until the last run, its report included, has ended.
    bool Busy() const { return busy_.load(); }
    // Waits for the last run.
    void Wait();

  private:
    std::thread thread_;
    std::atomic<bool> busy_{false};
};

}  // namespace vt
