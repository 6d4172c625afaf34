#pragma once
// The AVI and WAV pages' operations in the one operation shape (ops/OpContract.h):
// pages 0 to 3 (AVI separation, union, connection, extraction) and 4 and 5
// (WAV connection and extraction). The pages' start buttons and the command
// line run these. An open failure's detail text names the file. Qt-free.
#include <span>

#include "ops/OpContract.h"

namespace vt {

OpResult RunAviSeparation(const OpJob& job, OperationHost& host);  // stream: video or audio
OpResult RunAviUnion(const OpJob& job, OperationHost& host);       // inputs: video, audio source
OpResult RunAviConnection(const OpJob& job, OperationHost& host);
OpResult RunAviExtraction(const OpJob& job, OperationHost& host);
OpResult RunWavConnection(const OpJob& job, OperationHost& host);
OpResult RunWavExtraction(const OpJob& job, OperationHost& host);

// An extraction's input is read first (one that does not open ends the job
// there); without an end of range the job takes the input's end.
OpResult PrepareAviExtraction(OpJob& job, OperationHost& host);
OpResult PrepareWavExtraction(OpJob& job, OperationHost& host);

// Pages 0 to 5.
std::span<const OpEntry> AviEntries();

}  // namespace vt
