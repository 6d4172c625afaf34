#include "ops/NumberEditBox.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

#include "ops/KindRules.h"

namespace vt::gui {

CNumberEditBox::CNumberEditBox(QWidget* parent) : QLineEdit(parent) {
    setAttribute(Qt::WA_InputMethodEnabled, false);
    // Files dropped here belong to the page.
    setAcceptDrops(false);
}

bool CNumberEditBox::AcceptsChar(char32_t c) {
    return IsTimeFieldCharAccepted(uint32_t(c));
}

void CNumberEditBox::keyPressEvent(QKeyEvent* e) {
    const QString text = e->text();
    // Keys without a character (arrows, Delete, Home) and control characters
    // such as the clipboard shortcuts keep their usual meaning.
    if (!text.isEmpty() && !(e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
        const uint c = text.toUcs4().value(0);
        if (c >= 0x20 && !AcceptsChar(c)) {
            e->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(e);
}

void CNumberEditBox::focusInEvent(QFocusEvent* e) {
    // Japanese input is closed whenever a time field is entered.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    QLineEdit::focusInEvent(e);
}

void CNumberEditBox::inputMethodEvent(QInputMethodEvent* e) {
    // Composed text is no digit typed by the user.
    e->accept();
}

}  // namespace vt::gui
