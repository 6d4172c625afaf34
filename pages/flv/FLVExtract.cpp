#include "pages/flv/FLVExtract.h"

#include "app/PageTable.h"

namespace vt::gui {

CFLVExtract::CFLVExtract(QWidget* parentObject) : CBaseExtract(parentObject, kColorFlv) {}

bool CFLVExtract::OnInitDialog() {
    CBaseExtract::OnInitDialog();
    SetFormatLabels("FLV", "FLV");
    return true;
}

void CFLVExtract::OnBrowseInput() {
    BrowseInputFile(fields_.input, "FLV (*.FLV)|*.flv|", ".flv");
}

void CFLVExtract::OnBrowseOutput() {
    BrowseOutputFile("FLV (*.FLV)|*.flv|", ".flv");
}

void CFLVExtract::OnStart() {
    // The operation is not written yet: the button does nothing.
}

}  // namespace vt::gui
