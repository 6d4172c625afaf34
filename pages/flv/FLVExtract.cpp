#include "pages/flv/FLVExtract.h"

#include <cstdint>

#include "flv/FlvFile.h"
#include "ops/PageTable.h"
#include "pages/flv/FlvEntries.h"
#include "pages/flv/FlvOperations.h"

namespace vt::gui {

CFLVExtract::CFLVExtract(QWidget* parentObject) : CBaseExtract(parentObject, kColorFlv) {}

bool CFLVExtract::OnInitDialog() {
    CBaseExtract::OnInitDialog();
    SetFormatLabels("FLV", "FLV");
    return true;
}

void CFLVExtract::SetInputFile(std::string path) {
    if (IsRunning()) return;
    CBaseExtract::SetInputFile(std::move(path));
    CFlvFile file;
    const int code = file.Open(fields_.input);
    ShowRangeRead(code, TimeFields{}, code == 0 ? FromMilliseconds(file.Duration()) : TimeFields{});
}

void CFLVExtract::OnBrowseInput() {
    BrowseInputFile(fields_.input, "FLV (*.FLV)|*.flv|", ".flv");
}

void CFLVExtract::OnBrowseOutput() {
    BrowseOutputFile("FLV (*.FLV)|*.flv|", ".flv");
}

void CFLVExtract::DoDataExchange(CDataExchange& dx) {
    CBaseExtract::DoDataExchange(dx);
}

void CFLVExtract::OnStart() {
    // Starting reads the path and time fields (and checks their ranges).
    if (!BeginOperation()) return;
    const OpResult r = RunFlvExtractionJob(JobOf(fields_), *this);
    ShowErrorMessage(r.detail, r.code);
    EndOperation();
}

}  // namespace vt::gui
