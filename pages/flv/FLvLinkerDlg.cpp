#include "pages/flv/FLvLinkerDlg.h"

#include <QListWidget>

#include "ops/PageTable.h"
#include "pages/flv/FlvEntries.h"
#include "pages/flv/FlvOperations.h"

namespace vt::gui {

CFLvLinkerDlg::CFLvLinkerDlg(QWidget* parentObject) : CBaseLinker(parentObject, kColorFlv) {}

bool CFLvLinkerDlg::OnInitDialog() {
    CBaseLinker::OnInitDialog();
    SetFormatLabels("FLV");
    return true;
}

void CFLvLinkerDlg::OnAdd() {
    BrowseAddFiles("FLV (*.FLV)|*.flv|", ".flv");
}

void CFLvLinkerDlg::OnBrowseOutput() {
    BrowseOutputFile("FLV (*.FLV)|*.flv|", ".flv");
}

void CFLvLinkerDlg::OnStart() {
    // The list itself is the join order (the user may have reordered it).
    if (!FileList() || FileList()->count() < 2) return;  // nothing to join
    if (!BeginOperation()) return;
    const OpResult r = RunFlvConnectionJob(JobOf(fields_), *this);
    ShowErrorMessage(r.detail, r.code);
    EndOperation();
}

}  // namespace vt::gui
