#include "pages/avi/AVICutterDlg.h"

#include "app/PageTable.h"

namespace vt::gui {

CAVICutterDlg::CAVICutterDlg(QWidget* parentObject) : CBaseCutter(parentObject, kColorAvi) {}

bool CAVICutterDlg::OnInitDialog() {
    CBaseCutter::OnInitDialog();
    SetFormatLabels("AVI", "AVI or WAV");
    return true;
}

void CAVICutterDlg::OnBrowseInput() {
    BrowseInputFile(fields_.input, "AVI (*.AVI)|*.avi|", ".avi");
}

void CAVICutterDlg::OnBrowseOutput() {
    BrowseOutputFile(std::string("AVI (*.AVI)|*.avi|") + "WAV (*.WAV)|*.wav|", ".avi");
}

void CAVICutterDlg::OnVideoCut() {
    // The operation is not written yet: the button does nothing.
}

void CAVICutterDlg::OnAudioCut() {
    // The operation is not written yet: the button does nothing.
}

}  // namespace vt::gui
