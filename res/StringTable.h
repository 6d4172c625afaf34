#pragma once
// The program's string table: every text the program shows, in pairs
// (Japanese at an odd id n, English at n + 1). Qt-free, so that the command
// line shows the same texts as the window.
#include <string_view>

namespace vt {

// The text stored under `id`, or an empty view when the table has no such id.
std::string_view LookupString(unsigned id);

// The Japanese string id of the error code's pair, or 0 when the code has no row.
unsigned ErrorStringId(int code);

}  // namespace vt
