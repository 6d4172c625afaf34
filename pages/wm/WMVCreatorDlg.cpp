#include "pages/wm/WMVCreatorDlg.h"

#include "core/Strings.h"
#include "ops/PageTable.h"
#include "pages/wm/WmPageFrontEnd.h"

namespace vt::gui {

CWMVCreatorDlg::CWMVCreatorDlg(QWidget* parentObject) : CBaseCreator(parentObject, kColorWm) {
    frontEnd_ = std::make_unique<CWmPageFrontEnd>(*this, [this](OpJob& job) { job = JobOf(fields_); });
}

CWMVCreatorDlg::~CWMVCreatorDlg() {
    StopAndWait(*this, run_);
}

bool CWMVCreatorDlg::OnInitDialog() {
    CBaseCreator::OnInitDialog();
    SetFormatLabels("WMV", "WMV or WMA", "WMV");
    return true;
}

void CWMVCreatorDlg::SetInputFile(std::string path) {
    AssignSourceFile(std::move(path), ".wmv", ".wma");
}

void CWMVCreatorDlg::OnBrowseVideo() {
    BrowseSourceFile(fields_.videoSource, "WMV (*.WMV)|*.wmv|", ".wmv", 1);
}

void CWMVCreatorDlg::OnBrowseAudio() {
    BrowseSourceFile(fields_.audioSource,
                     SelectByLanguage("音声ソースWMAファイル  (*.wma;*.wmv)|*.wma; *.wmv|",
                                      "WMA-Audio  (*.wma;*.wmv)|*.wma; *.wmv|") +
                         "WMA (*.wma)|*.wma|" + "WMV (*.WMV)|*.wmv|",
                     ".wma", 0);
}

void CWMVCreatorDlg::OnBrowseOutput() {
    BrowseOutputFile("WMV (*.WMV)|*.wmv|", ".wmv");
}

void CWMVCreatorDlg::OnStart() {
    if (IsRunning()) return;
    run_.Start(kWmUnionPage, *frontEnd_);
}

}  // namespace vt::gui
