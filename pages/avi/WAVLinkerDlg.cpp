#include "pages/avi/WAVLinkerDlg.h"

#include "app/PageTable.h"
#include "app/Strings.h"

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
    // The operation is not written yet: the button does nothing.
}

}  // namespace vt::gui
