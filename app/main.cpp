// The desktop program. Its arguments are files for the page shown at start
// (see StartupFiles.h); the toolkit gets the program name only.
#include <QApplication>

#include "app/StartupFiles.h"
#include "app/VantorelApp.h"

int main(int realArgc, char** realArgv) {
    int argc = 1;
    char name[] = "vantorel";
    char* argv[] = {name, nullptr};
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantorel"));
    QApplication::setApplicationVersion(QStringLiteral(VANTOREL_VERSION));
    vt::gui::CVantorelApp app;
    app.SetStartupFiles(vt::gui::StartupFiles(realArgc, realArgv));
    app.InitInstance();
    return 0;
}
