#pragma once
// The FLV pages' operations in the one operation shape (ops/OpContract.h):
// pages 10 to 12 (separation, connection, extraction). Qt-free.
#include <span>

#include "ops/OpContract.h"

namespace vt {

// A separation's final output: the stream (for the audio, its codec) fixes
// the extension, unless the given name already has it. Fails with 9002,
// named by the path, when that name is one of the inputs.
OpResult PrepareFlvSeparation(OpJob& job, OperationHost& host);
OpResult RunFlvSeparationJob(const OpJob& job, OperationHost& host);
// One file is written again as it is, through the same save.
OpResult RunFlvConnectionJob(const OpJob& job, OperationHost& host);
// No end, or an end of 0: to the end of the file.
OpResult RunFlvExtractionJob(const OpJob& job, OperationHost& host);

// Pages 10 to 12.
std::span<const OpEntry> FlvEntries();

}  // namespace vt
