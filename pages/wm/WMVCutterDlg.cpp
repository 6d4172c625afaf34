#include "pages/wm/WMVCutterDlg.h"

#include "app/PageTable.h"
#include "pages/wm/WmFilters.h"

namespace vt::gui {

CWMVCutterDlg::CWMVCutterDlg(QWidget* parentObject) : CBaseCutter(parentObject, kColorWm) {}

bool CWMVCutterDlg::OnInitDialog() {
    CBaseCutter::OnInitDialog();
    SetFormatLabels("WMV", "WMV or WMA");
    return true;
}

void CWMVCutterDlg::OnBrowseInput() {
    BrowseInputFile(fields_.input, "WMV (*.WMV)|*.wmv|", ".wmv");
}

void CWMVCutterDlg::OnBrowseOutput() {
    BrowseOutputFile(WmFilter(), ".wmv");
}

void CWMVCutterDlg::OnVideoCut() {
    // The operation is not written yet: the button does nothing.
}

void CWMVCutterDlg::OnAudioCut() {
    // The operation is not written yet: the button does nothing.
}

}  // namespace vt::gui
