#include "tests/gui/GuiTestSupport.h"

#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QWidget>

namespace vt::gui::test {

uint32_t FakeClock::now = 0;

QApplication& App() {
    static int argc = 1;
    static char name[] = "vantorel_gui_tests";
    static char* argv[] = {name, nullptr};
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
