#pragma once
// The application object's common part: the accelerator (F10 opens the about
// box), the help and about commands, and the registry key name handed to the
// framework.
#include <QIcon>
#include <QObject>
#include <QTranslator>
#include <memory>
#include <string>

class QWidget;

namespace vt::gui {

// The framework's own texts (file dialogs, their questions, standard buttons)
// in the program's language, installed into the application: the Japanese
// translation on a Japanese system, nothing (the framework's English)
// otherwise. Null when nothing was installed.
std::unique_ptr<QTranslator> InstallFrameworkTranslations();

class CBaseApp : public QObject {
    Q_OBJECT
  public:
    CBaseApp();
    ~CBaseApp() override;

    // The one application object, or nullptr before it exists.
    static CBaseApp* Instance();
    // The program icon (every window's big and small icon).
    static QIcon ProgramIcon();

    // Loads the accelerator table, reads the registry key name from the
    // settings file and hands it to the framework. Returns 0.
    virtual int InitBaseApp(unsigned acceleratorId);
    // Opens that file beside the program (an installed program: the copy in
    // its documentation folder) with the desktop's handler, without waiting.
    virtual void ShowHelp(const std::string& fileName);
    // The about box, modally.
    virtual void ShowAboutBox();
    // Framework commands: 57670 help, 57664 about.
    virtual void OnCommand(unsigned id);

    void SetMainWindow(QWidget* w) { mainWindow_ = w; }
    QWidget* MainWindow() const { return mainWindow_; }

    // The help file (see FindHelpFile).
    static constexpr const char* kHelpFile = "Vantorel.html";
    static constexpr unsigned kAcceleratorTable = 131;

  protected:
    // The message filter: the accelerator first, then the framework.
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    bool acceleratorLoaded_ = false;
    std::unique_ptr<QTranslator> frameworkTexts_;
    QWidget* mainWindow_ = nullptr;
};

}  // namespace vt::gui
