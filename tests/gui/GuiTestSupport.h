#pragma once
// Helpers of the window tests: one QApplication for the binary, the
// language switch, and recorders for the modal boxes and file dialogs.
#include <QApplication>
#include <QMimeData>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/ModalBoxes.h"

namespace vt::gui::test {

// The application object of the test binary (created on first use).
QApplication& App();

// Sets the system language for the scope ("ja_JP.UTF-8" or "en_US.UTF-8").
class ScopedLanguage {
  public:
    explicit ScopedLanguage(bool japanese);
    ~ScopedLanguage();

  private:
    std::string old_;
    bool had_;
};

// Points the user's settings store (XDG_CONFIG_HOME) at a fresh folder for
// the scope.
class ScopedSettingsStore {
  public:
    ScopedSettingsStore();
    ~ScopedSettingsStore();
    const std::string& Folder() const { return folder_; }

  private:
    std::string folder_;
    std::string old_;
    bool had_;
};

// Records every modal box instead of showing it; answers `answer`.
class BoxRecorder {
  public:
    explicit BoxRecorder(int answer = kIdOk);
    ~BoxRecorder();
    std::vector<ModalBox> boxes;

  private:
    ModalBoxHook old_;
    int answer_;
};

// Answers file dialogs from a script (an empty answer is Cancel) and records
// the requests.
class FileDialogScript {
  public:
    FileDialogScript();
    ~FileDialogScript();
    void Answer(std::vector<std::string> paths) { answers_.push_back(std::move(paths)); }
    std::vector<FileDialogRequest> requests;

  private:
    FileDialogHook old_;
    std::deque<std::vector<std::string>> answers_;
};

// Drags the data over `target` and drops it there, as the desktop does: the
// drop goes to the widget that accepted the drag.
void DropFiles(QWidget* target, const QMimeData& data);

// A millisecond clock that tests move by hand.
struct FakeClock {
    static uint32_t now;
    static uint32_t Read() { return now; }
};

}  // namespace vt::gui::test
