#include "pages/avi/WAVLinkerDlg.h"

#include "core/Strings.h"
#include "media/avi/DecMovie.h"
#include "mediainfo/JoinCheck.h"
#include "ops/PageTable.h"
#include "pages/avi/AviEntries.h"
#include "pages/avi/AviOperations.h"

namespace vt::gui {

CWAVLinkerDlg::CWAVLinkerDlg(QWidget* parentObject) : CBaseLinker(parentObject, kColorWav) {}

bool CWAVLinkerDlg::OnInitDialog() {
    CBaseLinker::OnInitDialog();
    SetFormatLabels("WAV");
    return true;
}

void CWAVLinkerDlg::OnAdd() {
    BrowseAddFiles(SelectByLanguage("音声ソースWAVファイル  (*.wav;*.avi)|*.wav; *.avi|",
                                    "WAV-Audio  (*.wav;*.avi)|*.wav; *.avi|") +
                       "WAV (*.WAV)|*.wav|" + "AVI (*.AVI)|*.avi|",
                   ".wav");
}

void CWAVLinkerDlg::OnBrowseOutput() {
    BrowseOutputFile("WAV (*.WAV)|*.wav|", ".wav");
}

void CWAVLinkerDlg::OnStart() {
    if (fields_.files.empty()) return;
    // Files that differ from the first join only when the user says so.
    const std::vector<std::string> differences = JoinDifferences(fields_.files, kFormatWav);
    if (!differences.empty() && !ConfirmJoin(JoinAnywayQuestion(differences))) return;
    if (!BeginOperation()) return;
    const OpResult r = RunWavConnection(JobOf(fields_), *this);
    ShowErrorMessage(r.detail, r.code);
    EndOperation();
}

}  // namespace vt::gui
