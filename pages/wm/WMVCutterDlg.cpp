#include "pages/wm/WMVCutterDlg.h"

#include "core/ShellHelpers.h"
#include "ops/PageTable.h"
#include "pages/wm/WmFilters.h"
#include "pages/wm/WmPageFrontEnd.h"

namespace vt::gui {

CWMVCutterDlg::CWMVCutterDlg(QWidget* parentObject) : CBaseCutter(parentObject, kColorWm) {
    frontEnd_ = std::make_unique<CWmPageFrontEnd>(*this, [this](OpJob& job) {
        job = JobOf(fields_, video_ ? SeparateStream::Video : SeparateStream::Audio);
    });
}

CWMVCutterDlg::~CWMVCutterDlg() {
    StopAndWait(*this, run_);
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
    video_ = video;
    run_.Start(kWmSeparationPage, *frontEnd_);
}

}  // namespace vt::gui
