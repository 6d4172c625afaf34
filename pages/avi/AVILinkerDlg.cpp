#include "pages/avi/AVILinkerDlg.h"

#include "media/avi/DecMovie.h"
#include "mediainfo/JoinCheck.h"
#include "ops/PageTable.h"
#include "pages/avi/AviEntries.h"
#include "pages/avi/AviOperations.h"

namespace vt::gui {

CAVILinkerDlg::CAVILinkerDlg(QWidget* parentObject) : CBaseLinker(parentObject, kColorAvi) {}

bool CAVILinkerDlg::OnInitDialog() {
    CBaseLinker::OnInitDialog();
    SetFormatLabels("AVI");
    return true;
}

void CAVILinkerDlg::OnAdd() {
    BrowseAddFiles("AVI (*.AVI)|*.avi|", ".avi");
}

void CAVILinkerDlg::OnBrowseOutput() {
    BrowseOutputFile("AVI (*.AVI)|*.avi|", ".avi");
}

void CAVILinkerDlg::OnStart() {
    if (fields_.files.empty()) return;
    // Files that differ from the first join only when the user says so.
    const std::vector<std::string> differences = JoinDifferences(fields_.files, kFormatAvi);
    if (!differences.empty() && !ConfirmJoin(JoinAnywayQuestion(differences))) return;
    if (!BeginOperation()) return;
    const OpResult r = RunAviConnection(JobOf(fields_), *this);
    ShowErrorMessage(r.detail, r.code);
    EndOperation();
}

}  // namespace vt::gui
