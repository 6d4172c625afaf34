#include "app/VantorelApp.h"

#include "app/VantorelDlg.h"

namespace vt::gui {

bool CVantorelApp::InitInstance() {
    InitBaseApp(kAcceleratorTable);
    CVantorelDlg dlg;
    SetMainWindow(&dlg);
    dlg.DoModal();
    SetMainWindow(nullptr);
    return false;
}

}  // namespace vt::gui
