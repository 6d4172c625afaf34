#include "pages/avi/AVICreatorDlg.h"

#include "core/Strings.h"
#include "media/avi/DecMovie.h"
#include "ops/PageTable.h"
#include "pages/avi/AviOperations.h"
#include "pages/avi/OpenFailure.h"

namespace vt::gui {

CAVICreatorDlg::CAVICreatorDlg(QWidget* parentObject) : CBaseCreator(parentObject, kColorAvi) {}

bool CAVICreatorDlg::OnInitDialog() {
    CBaseCreator::OnInitDialog();
    SetFormatLabels("AVI", "AVI or WAV", "AVI");
    return true;
}

void CAVICreatorDlg::SetInputFile(std::string path) {
    AssignSourceFile(std::move(path), ".avi", ".wav");
}

void CAVICreatorDlg::OnBrowseVideo() {
    BrowseSourceFile(fields_.videoSource, "AVI (*.AVI)|*.avi|", ".avi", 1);
}

void CAVICreatorDlg::OnBrowseAudio() {
    BrowseSourceFile(fields_.audioSource,
                     SelectByLanguage("音声ソースWAVファイル  (*.wav;*.avi)|*.wav; *.avi|",
                                      "WAV-Audio  (*.wav;*.avi)|*.wav; *.avi|") +
                         "WAV (*.WAV)|*.wav|" + "AVI (*.AVI)|*.avi|",
                     ".wav", 0);
}

void CAVICreatorDlg::OnBrowseOutput() {
    BrowseOutputFile("AVI (*.AVI)|*.avi|", ".avi");
}

void CAVICreatorDlg::OnStart() {
    if (!BeginOperation()) return;
    const int r = UnionAviStreams(fields_.videoSource, fields_.audioSource, fields_.output, *this);
    if (r) {
        // The video source opens first, then the audio source.
        std::string detail = OpenFailureDetail<CDecAVI>(r, {fields_.videoSource});
        if (detail.empty()) detail = OpenFailureDetail<CDecWAV>(r, {fields_.audioSource});
        ShowErrorMessage(detail, r);
    }
    EndOperation();
}

}  // namespace vt::gui
