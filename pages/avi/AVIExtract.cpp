#include "pages/avi/AVIExtract.h"

#include "app/PageTable.h"

namespace vt::gui {

CAVIExtract::CAVIExtract(QWidget* parentObject) : CBaseExtract(parentObject, kColorAvi) {}

bool CAVIExtract::OnInitDialog() {
    CBaseExtract::OnInitDialog();
    SetFormatLabels("AVI", "AVI");
    return true;
}

void CAVIExtract::OnBrowseInput() {
    BrowseInputFile(fields_.input, "AVI (*.AVI)|*.avi|", ".avi");
}

void CAVIExtract::OnBrowseOutput() {
    BrowseOutputFile("AVI (*.AVI)|*.avi|", ".avi");
}

void CAVIExtract::OnStart() {
    // The operation is not written yet: the button does nothing.
}

}  // namespace vt::gui
