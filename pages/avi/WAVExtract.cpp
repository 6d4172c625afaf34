#include "pages/avi/WAVExtract.h"

#include "core/Strings.h"
#include "ops/PageTable.h"
#include "pages/avi/AviEntries.h"
#include "pages/avi/AviOperations.h"

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

void CWAVExtract::SetInputFile(std::string path) {
    // A running page's fields belong to the running operation.
    if (IsRunning()) return;
    CBaseExtract::SetInputFile(std::move(path));
    ReadRange();
}

void CWAVExtract::ReadRange() {
    SectionRange range;
    const int r = ReadWavRange(fields_.input, range);
    ShowRangeRead(r, range.start, range.end);
}

void CWAVExtract::OnStart() {
    if (!BeginOperation()) return;
    const OpResult r = RunWavExtraction(JobOf(fields_), *this);
    ShowErrorMessage(r.detail, r.code);
    EndOperation();
}

}  // namespace vt::gui
