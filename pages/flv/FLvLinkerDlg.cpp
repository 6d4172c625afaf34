#include "pages/flv/FLvLinkerDlg.h"

#include "app/PageTable.h"

namespace vt::gui {

CFLvLinkerDlg::CFLvLinkerDlg(QWidget* parentObject) : CBaseLinker(parentObject, kColorFlv) {}

bool CFLvLinkerDlg::OnInitDialog() {
    CBaseLinker::OnInitDialog();
    SetFormatLabels("FLV");
    return true;
}

void CFLvLinkerDlg::OnAdd() {
    BrowseAddFiles("FLV (*.FLV)|*.flv|", ".flv");
}

void CFLvLinkerDlg::OnBrowseOutput() {
    BrowseOutputFile("FLV (*.FLV)|*.flv|", ".flv");
}

void CFLvLinkerDlg::OnStart() {
    // The operation is not written yet: the button does nothing.
}

}  // namespace vt::gui
