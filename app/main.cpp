// The desktop program. It takes no command-line arguments: the toolkit gets
// the program name only.
#include <QApplication>

#include "app/VantorelApp.h"

int main(int, char**) {
    int argc = 1;
    char name[] = "vantorel";
    char* argv[] = {name, nullptr};
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantorel"));
    QApplication::setApplicationVersion(QStringLiteral(VANTOREL_VERSION));
    vt::gui::CVantorelApp app;
    app.InitInstance();
    return 0;
}
