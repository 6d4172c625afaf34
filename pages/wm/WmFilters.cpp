#include "pages/wm/WmFilters.h"

#include "core/Strings.h"

namespace vt::gui {

std::string WmFilter() {
    return SelectByLanguage("音声ソースWMAファイル  (*.wma;*.wmv)|*.wma; *.wmv|",
                            "WMA-Audio  (*.wma;*.wmv)|*.wma; *.wmv|") +
           "WMV (*.WMV)|*.wmv|" + "WMA (*.wma)|*.wma|";
}

}  // namespace vt::gui
