#include "res/StringTable.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vt {
namespace {

struct Entry {
    unsigned id;
    std::string_view text;
};

#define VT_STRING(id, text) Entry{id, text},
#define VT_ERROR(code, id)
constexpr Entry kStrings[] = {
#include "res/strings/app.inc"
#include "res/strings/avi.inc"
#include "res/strings/errors.inc"
#include "res/strings/flv.inc"
#include "res/strings/ui.inc"
#include "res/strings/wm.inc"
};
#undef VT_STRING
#undef VT_ERROR

#define VT_STRING(id, text)
#define VT_ERROR(code, id) std::pair<int, unsigned>{code, id},
constexpr std::pair<int, unsigned> kErrors[] = {
#include "res/strings/errors.inc"
};
#undef VT_STRING
#undef VT_ERROR

template <size_t N>
constexpr std::array<Entry, N> Sorted(const Entry (&in)[N]) {
    std::array<Entry, N> out{};
    for (size_t i = 0; i < N; ++i) out[i] = in[i];
    std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.id < b.id; });
    return out;
}

constexpr auto kSorted = Sorted(kStrings);

constexpr bool NoDuplicateIds() {
    for (size_t i = 1; i < kSorted.size(); ++i)
        if (kSorted[i].id == kSorted[i - 1].id) return false;
    return true;
}
static_assert(NoDuplicateIds(), "a string id is defined twice");

}  // namespace

std::string_view LookupString(unsigned id) {
    auto it = std::lower_bound(kSorted.begin(), kSorted.end(), id,
                               [](const Entry& e, unsigned v) { return e.id < v; });
    if (it == kSorted.end() || it->id != id) return {};
    return it->text;
}

unsigned ErrorStringId(int code) {
    for (const auto& [c, id] : kErrors)
        if (c == code) return id;
    return 0;
}

}  // namespace vt
