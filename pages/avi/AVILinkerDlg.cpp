#include "pages/avi/AVILinkerDlg.h"

#include "app/PageTable.h"

namespace vt::gui {

CAVILinkerDlg::CAVILinkerDlg(QWidget* parentObject) : CBaseLinker(parentObject, kColorAvi) {}

bool CAVILinkerDlg::OnInitDialog() {
    CBaseLinker::OnInitDialog();
    SetFormatLabels("AVI");
    return true;
}

void CAVILinkerDlg::OnAdd() {
    BrowseAddFiles("AVI (*.AVI)|*.avi|", ".avi");
}

void CAVILinkerDlg::OnBrowseOutput() {
    BrowseOutputFile("AVI (*.AVI)|*.avi|", ".avi");
}

void CAVILinkerDlg::OnStart() {
    // The operation is not written yet: the button does nothing.
}

}  // namespace vt::gui
