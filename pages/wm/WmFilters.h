#pragma once
// The file filter of the WMV and WMA pages.
#include <string>

namespace vt::gui {

// The language's "both" entry, then "WMV (*.WMV)|*.wmv|", then "WMA (*.wma)|*.wma|".
std::string WmFilter();

}  // namespace vt::gui
