#include "pages/wm/WMVLinkerDlg.h"

#include "ops/PageTable.h"
#include "pages/wm/WmFilters.h"
#include "pages/wm/WmPageFrontEnd.h"

namespace vt::gui {

CWMVLinkerDlg::CWMVLinkerDlg(QWidget* parentObject) : CBaseLinker(parentObject, kColorWm) {
    frontEnd_ = std::make_unique<CWmPageFrontEnd>(*this, [this](OpJob& job) { job = JobOf(fields_); });
}

CWMVLinkerDlg::~CWMVLinkerDlg() {
    StopAndWait(*this, run_);
}

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
    if (IsRunning()) return;
    UpdateData(true);
    if (fields_.files.empty()) return;  // an empty list: nothing to do
    run_.Start(kWmConnectionPage, *frontEnd_);
}

}  // namespace vt::gui
