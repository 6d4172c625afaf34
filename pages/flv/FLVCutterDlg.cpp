#include "pages/flv/FLVCutterDlg.h"

#include "app/PageTable.h"

namespace vt::gui {

CFLVCutterDlg::CFLVCutterDlg(QWidget* parentObject) : CBaseCutter(parentObject, kColorFlv) {}

bool CFLVCutterDlg::OnInitDialog() {
    CBaseCutter::OnInitDialog();
    SetFormatLabels("FLV", "AVI or mp3");
    return true;
}

void CFLVCutterDlg::OnBrowseInput() {
    BrowseInputFile(fields_.input, "FLV (*.FLV)|*.flv|", ".flv");
}

void CFLVCutterDlg::OnBrowseOutput() {
    BrowseOutputFile(std::string("AVI (*.AVI)|*.avi|") + "MP3 (*.mp3)|*.mp3|", ".avi");
}

void CFLVCutterDlg::OnVideoCut() {
    // The operation is not written yet: the button does nothing.
}

void CFLVCutterDlg::OnAudioCut() {
    // The operation is not written yet: the button does nothing.
}

}  // namespace vt::gui
