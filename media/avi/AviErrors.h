#pragma once
// Where the AVI services' results become codes of the error table. An AVI
// result says what went wrong inside the file services; which code of the
// table a failure stands for depends on the step (the file does not open:
// 1002, its audio cannot be read: 2107, ...), so the caller names it. Every
// translation of an AVI result goes through ErrorFromAvi. Qt-free.
#include "core/ErrorCodes.h"
#include "platform/AviTypes.h"

namespace vt {

// kOk when `r` is kAviOk, else `failure`.
constexpr int ErrorFromAvi(AviResult r, ErrorCode failure) {
    return r == kAviOk ? int(kOk) : int(failure);
}

}  // namespace vt
