#pragma once
// Drives an operation page as a user does: the page made and created without
// a parent, its buttons clicked, its edit fields typed into and read back.
// Shared by every test that runs the pages; GUI tests only (Qt).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QThread>
#include <memory>
#include <string>

#include "app/BaseDialog.h"
#include "tests/gui/GuiTestSupport.h"

namespace vt::gui::test {

// A page of class P, created and ready to use (the application object first).
template <class P>
std::unique_ptr<P> Make() {
    App();
    auto p = std::make_unique<P>(nullptr);
    p->CreateDlg(nullptr);
    return p;
}

// Clicks the button `id`; fails the test when it is missing or disabled.
inline void Click(CBaseDialog* page, int id) {
    auto* b = qobject_cast<QAbstractButton*>(page->GetDlgItem(id));
    ASSERT_NE(b, nullptr) << id;
    ASSERT_TRUE(b->isEnabled()) << id;
    b->click();
}

// The text of the control `id`.
inline std::string Text(CBaseDialog* page, int id) {
    return page->GetCtrlText(id);
}

// Types `text` into the edit field `id` (replacing what it held).
inline void SetText(CBaseDialog* page, int id, const std::string& text) {
    auto* e = qobject_cast<QLineEdit*>(page->GetDlgItem(id));
    ASSERT_NE(e, nullptr) << id;
    e->setText(QString::fromStdString(text));
}

// Lets the page's events run until the text of control `id` holds `part`
// (false after `ms` milliseconds without it).
inline bool WaitForText(CBaseDialog* page, int id, const std::string& part, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (page->GetCtrlText(id).find(part) != std::string::npos) return true;
        QThread::msleep(5);
    }
    return false;
}

}  // namespace vt::gui::test
