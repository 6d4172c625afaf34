#pragma once
// The application object: runs the main window and ends with it.
#include "app/BaseApp.h"

namespace vt::gui {

class CVantorelApp : public CBaseApp {
    Q_OBJECT
  public:
    // Runs the main window modally; returns false, which ends the program.
    virtual bool InitInstance();
};

}  // namespace vt::gui
