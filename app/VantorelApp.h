#pragma once
// The application object: runs the main window and ends with it.
#include <string>
#include <vector>

#include "app/BaseApp.h"

namespace vt::gui {

class CVantorelApp : public CBaseApp {
    Q_OBJECT
  public:
    // Runs the main window modally; returns false, which ends the program.
    virtual bool InitInstance();
    // Files from the command line, handed to the window once it runs.
    void SetStartupFiles(std::vector<std::string> files) { startupFiles_ = std::move(files); }

  private:
    std::vector<std::string> startupFiles_;
};

}  // namespace vt::gui
