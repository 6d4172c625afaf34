#include "pages/wm/WMVCreatorDlg.h"

#include "app/PageTable.h"
#include "app/Strings.h"

namespace vt::gui {

CWMVCreatorDlg::CWMVCreatorDlg(QWidget* parentObject) : CBaseCreator(parentObject, kColorWm) {}

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
    // The operation is not written yet: the button does nothing.
}

}  // namespace vt::gui
