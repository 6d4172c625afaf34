#include "pages/flv/FLVCutterDlg.h"

#include "ops/PageTable.h"
#include "pages/flv/FlvEntries.h"
#include "pages/flv/FlvOperations.h"

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
    BrowseOutputFile(std::string("AVI (*.AVI)|*.avi|") + "MP3 (*.mp3)|*.mp3|" + "AAC (*.aac)|*.aac|", ".avi");
}

void CFLVCutterDlg::OnVideoCut() {
    Separate(FlvSeparationPart::Video);
}

void CFLVCutterDlg::OnAudioCut() {
    Separate(FlvSeparationPart::Audio);
}

void CFLVCutterDlg::Separate(FlvSeparationPart part) {
    // The stream fixes the output's extension (for the audio, its codec); the
    // field shows the final name.
    UpdateData(true);
    fields_.output = FlvSeparationOutputPath(fields_.output, part, fields_.input);
    UpdateData(false);
    if (!BeginOperation()) return;
    const SeparateStream stream =
        part == FlvSeparationPart::Audio ? SeparateStream::Audio : SeparateStream::Video;
    const OpResult r = RunFlvSeparationJob(JobOf(fields_, stream), *this);
    ShowErrorMessage(r.detail, r.code);
    EndOperation();
}

}  // namespace vt::gui
