#include "pages/wm/WMVExtract.h"

#include "app/PageTable.h"
#include "pages/wm/WmFilters.h"

namespace vt::gui {

CWMVExtract::CWMVExtract(QWidget* parentObject) : CBaseExtract(parentObject, kColorWm) {}

bool CWMVExtract::OnInitDialog() {
    CBaseExtract::OnInitDialog();
    SetFormatLabels("WMV or WMA", "WMV or WMA");
    return true;
}

void CWMVExtract::OnBrowseInput() {
    BrowseInputFile(fields_.input, WmFilter(), ".wmv");
}

void CWMVExtract::OnBrowseOutput() {
    BrowseOutputFile(WmFilter(), ".wmv");
}

void CWMVExtract::OnStart() {
    // The operation is not written yet: the button does nothing.
}

}  // namespace vt::gui
