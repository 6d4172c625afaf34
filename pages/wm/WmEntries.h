#pragma once
// The WMV/WMA pages' operations in the one operation shape (ops/OpContract.h),
// run to their end: pages 6 to 9 (separation, union, connection, extraction).
// The pages start the same operations (pages/wm/WmOperations.h) without
// waiting; these wait for the workers and return the outcome. Qt-free.
#include <span>

#include "ops/OpContract.h"

namespace vt {

OpResult RunWmSeparationJob(const OpJob& job, OperationHost& host);
OpResult RunWmUnionJob(const OpJob& job, OperationHost& host);
OpResult RunWmConnectionJob(const OpJob& job, OperationHost& host);
// The end of range an extraction without one takes: the input's duration to
// the millisecond, as the page shows it.
OpResult PrepareWmExtraction(OpJob& job, OperationHost& host);
OpResult RunWmExtractionJob(const OpJob& job, OperationHost& host);

// Pages 6 to 9.
std::span<const OpEntry> WmEntries();

}  // namespace vt
