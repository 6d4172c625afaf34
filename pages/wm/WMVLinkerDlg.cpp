#include "pages/wm/WMVLinkerDlg.h"

#include "ops/PageTable.h"
#include "pages/wm/WmFilters.h"
#include "pages/wm/WmPageFrontEnd.h"

namespace vt::gui {

CWMVLinkerDlg::CWMVLinkerDlg(QWidget* parentObject) : CBaseLinker(parentObject, kColorWm) {
    frontEnd_ = std::make_unique<CWmPageFrontEnd>(*this, [this](WmJob& job) {
        job.inputs = fields_.files;
        job.output = fields_.output;
    });
}

CWMVLinkerDlg::~CWMVLinkerDlg() {
    StopAndWait(*this, op_);
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
    op_.Start(*frontEnd_, fields_.files.empty());
}

}  // namespace vt::gui
