#pragma once
// Files named on the desktop program's command line (a file manager's "Open
// with", or the menu entry's %F). They go to the page shown at start as if
// they had been dropped on the window; without any, the start is unchanged.
#include <string>
#include <vector>

namespace vt::gui {

class CBaseDialog;

// The arguments after the program name as full paths, in order; empty
// arguments are left out. Every argument is a file: there are no options.
std::vector<std::string> StartupFiles(int argc, const char* const* argv);

// Hands the files to the window's SetInputFile, one by one, once its event
// loop runs (the window and its pages exist and show by then).
void QueueStartupFiles(CBaseDialog& window, std::vector<std::string> files);

}  // namespace vt::gui
