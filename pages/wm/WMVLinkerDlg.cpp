#include "pages/wm/WMVLinkerDlg.h"

#include "app/PageTable.h"
#include "pages/wm/WmFilters.h"

namespace vt::gui {

CWMVLinkerDlg::CWMVLinkerDlg(QWidget* parentObject) : CBaseLinker(parentObject, kColorWm) {}

bool CWMVLinkerDlg::OnInitDialog() {
    CBaseLinker::OnInitDialog();
    SetFormatLabels("WMV or WMA");
    return true;
}

void CWMVLinkerDlg::OnAdd() {
    BrowseAddFiles(WmFilter(), ".wmv");
}

void CWMVLinkerDlg::OnBrowseOutput() {
    BrowseOutputFile(WmFilter(), ".wmv");
}

void CWMVLinkerDlg::OnStart() {
    // The operation is not written yet: the button does nothing.
}

}  // namespace vt::gui
