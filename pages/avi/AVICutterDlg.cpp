#include "pages/avi/AVICutterDlg.h"

#include "ops/KindRules.h"
#include "ops/PageTable.h"
#include "pages/avi/AviEntries.h"
#include "pages/avi/AviOperations.h"

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

void CAVICutterDlg::RunCut(bool video) {
    // The output's extension follows the stream; the page shows the final name.
    UpdateData(true);
    fields_.output = ReplaceExtension(fields_.output, video ? ".avi" : ".wav");
    UpdateData(false);
    if (!BeginOperation()) return;
    const OpResult r =
        RunAviSeparation(JobOf(fields_, video ? SeparateStream::Video : SeparateStream::Audio), *this);
    ShowErrorMessage(r.detail, r.code);
    EndOperation();
}

void CAVICutterDlg::OnVideoCut() {
    RunCut(true);
}

void CAVICutterDlg::OnAudioCut() {
    RunCut(false);
}

}  // namespace vt::gui
