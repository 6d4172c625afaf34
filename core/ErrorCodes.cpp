#include "core/ErrorCodes.h"

#include <cstdio>

#include "core/Strings.h"
#include "res/StringTable.h"

namespace vt {

std::string GetErrorText(int code) {
    if (code == 0 || code == kErrSilent) return {};
    unsigned id = ErrorStringId(code);
    if (id == 0) id = 43271;  // "Other Errors"
    return LoadStringPair(id, id + 1);
}

std::string ErrorCaption(int code) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d", code);
    return std::string("エラーNo.") + buf;
}

std::string ErrorBoxText(const std::string& detail, int code) {
    std::string message = GetErrorText(code);
    if (message.empty()) return {};
    if (!detail.empty()) message = detail + "\n" + message;
    return ErrorCaption(code) + "\n\n" + message;
}

}  // namespace vt
