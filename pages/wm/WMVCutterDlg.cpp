#include "pages/wm/WMVCutterDlg.h"

#include "core/ShellHelpers.h"
#include "ops/PageTable.h"
#include "pages/wm/WmFilters.h"
#include "pages/wm/WmPageFrontEnd.h"

namespace vt::gui {

CWMVCutterDlg::CWMVCutterDlg(QWidget* parentObject) : CBaseCutter(parentObject, kColorWm) {
    frontEnd_ = std::make_unique<CWmPageFrontEnd>(*this, [this](WmJob& job) {
        job.inputs = {fields_.input};
        job.output = fields_.output;
    });
}

CWMVCutterDlg::~CWMVCutterDlg() {
    StopAndWait(*this, op_);
}

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
    Separate(true);
}

void CWMVCutterDlg::OnAudioCut() {
    Separate(false);
}

void CWMVCutterDlg::Separate(bool video) {
    if (IsRunning() || !UpdateData(true)) return;
    // The output takes the extension of the stream.
    fields_.output = GetPathNoExt(fields_.output) + (video ? ".wmv" : ".wma");
    UpdateData(false);
    op_.Start(*frontEnd_, video);
}

}  // namespace vt::gui
