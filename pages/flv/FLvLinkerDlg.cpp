#include "pages/flv/FLvLinkerDlg.h"

#include <QListWidget>

#include "ops/PageTable.h"
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
    // The operation reports its own failure through this page.
    RunFlvConnection(*this, fields_.files, fields_.output);
    EndOperation();
}

}  // namespace vt::gui
