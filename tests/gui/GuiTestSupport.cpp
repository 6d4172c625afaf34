#include "tests/gui/GuiTestSupport.h"

#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QWidget>
#include <cstdlib>
#include <filesystem>

namespace vt::gui::test {

uint32_t FakeClock::now = 0;

QApplication& App() {
    static int argc = 1;
    static char name[] = "vantorel_gui_tests";
    static char* argv[] = {name, nullptr};
    // The tests' windows remember their places and folders in a store of their own.
    static ScopedSettingsStore store;
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Vantorel"));
        return a;
    }();
    return *app;
}

namespace {
// The application must exist before any widget of any test.
struct AppEnvironment : ::testing::Environment {
    void SetUp() override { App(); }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new AppEnvironment);
}  // namespace

void DropFiles(QWidget* target, const QMimeData& data) {
    const QPointF pos(2, 2);
    QDragEnterEvent enter(pos.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDragMoveEvent move(pos.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
    QDropEvent drop(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

ScopedSettingsStore::ScopedSettingsStore() {
    const char* v = std::getenv("XDG_CONFIG_HOME");
    had_ = v != nullptr;
    if (had_) old_ = v;
    char pattern[] = "/tmp/vt_settings_XXXXXX";
    const char* made = mkdtemp(pattern);
    folder_ = made ? made : "/tmp";
    setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
}

ScopedSettingsStore::~ScopedSettingsStore() {
    if (had_)
        setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    std::error_code ec;
    if (folder_.rfind("/tmp/vt_settings_", 0) == 0) std::filesystem::remove_all(folder_, ec);
}

ScopedLanguage::ScopedLanguage(bool japanese) {
    const char* v = std::getenv("LC_ALL");
    had_ = v != nullptr;
    if (v) old_ = v;
    setenv("LC_ALL", japanese ? "ja_JP.UTF-8" : "en_US.UTF-8", 1);
}

ScopedLanguage::~ScopedLanguage() {
    if (had_)
        setenv("LC_ALL", old_.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

BoxRecorder::BoxRecorder(int answer) : answer_(answer) {
    old_ = SetModalBoxHook([this](const ModalBox& b) {
        boxes.push_back(b);
        return answer_;
    });
}

BoxRecorder::~BoxRecorder() {
    SetModalBoxHook(std::move(old_));
}

FileDialogScript::FileDialogScript() {
    old_ = SetFileDialogHook([this](const FileDialogRequest& r) {
        requests.push_back(r);
        if (answers_.empty()) return std::vector<std::string>{};
        auto a = std::move(answers_.front());
        answers_.pop_front();
        return a;
    });
}

FileDialogScript::~FileDialogScript() {
    SetFileDialogHook(std::move(old_));
}

}  // namespace vt::gui::test
