#include "pages/avi/WAVExtract.h"

#include "app/PageTable.h"
#include "app/Strings.h"

namespace vt::gui {

CWAVExtract::CWAVExtract(QWidget* parentObject) : CBaseExtract(parentObject, kColorWav) {}

bool CWAVExtract::OnInitDialog() {
    CBaseExtract::OnInitDialog();
    SetFormatLabels("WAV", "WAV");
    return true;
}

void CWAVExtract::OnBrowseInput() {
    BrowseInputFile(fields_.input,
                    SelectByLanguage("音声ソースWAVファイル  (*.wav;*.avi)|*.wav; *.avi|",
                                     "WAV-Audio  (*.wav;*.avi)|*.wav; *.avi|") +
                        "WAV (*.WAV)|*.wav|" + "AVI (*.AVI)|*.avi|",
                    ".wav");
}

void CWAVExtract::OnBrowseOutput() {
    BrowseOutputFile("WAV (*.WAV)|*.wav|", ".wav");
}

void CWAVExtract::OnStart() {
    // The operation is not written yet: the button does nothing.
}

}  // namespace vt::gui
