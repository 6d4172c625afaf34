#include "app/VantorelApp.h"

#include "app/StartupFiles.h"
#include "app/VantorelDlg.h"

namespace vt::gui {

bool CVantorelApp::InitInstance() {
    InitBaseApp(kAcceleratorTable);
    CVantorelDlg dlg;
    SetMainWindow(&dlg);
    QueueStartupFiles(dlg, std::move(startupFiles_));
    dlg.DoModal();
    SetMainWindow(nullptr);
    return false;
}

}  // namespace vt::gui
