#include "pages/avi/AVICreatorDlg.h"

#include "core/Strings.h"
#include "ops/PageTable.h"
#include "pages/avi/AviEntries.h"
#include "pages/avi/AviOperations.h"

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
    const OpResult r = RunAviUnion(JobOf(fields_), *this);
    ShowErrorMessage(r.detail, r.code);
    EndOperation();
}

}  // namespace vt::gui
