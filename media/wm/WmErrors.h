#pragma once
// Where the ASF layer's results become codes of the error table. An ASF result
// says only whether a step of the container code worked; which code of the
// table a failure stands for depends on the step (the input does not open:
// 8201, the output's header cannot be set up: 8205, ...), so the caller names
// it. Every translation of an ASF result goes through ErrorFromAsf. Qt-free.
#include "core/ErrorCodes.h"
#include "platform/AsfTypes.h"

namespace vt {

// kOk when `hr` succeeded (kOk and kFalse alike), else `failure`.
constexpr int ErrorFromAsf(AsfResult hr, ErrorCode failure) {
    return asf::Failed(hr) ? int(failure) : int(kOk);
}

}  // namespace vt
