#pragma once
// The edit box of the time fields: takes digits, Backspace and Tab only, and
// turns the input method off whenever it gets the focus.
#include <QLineEdit>

namespace vt::gui {

class CNumberEditBox : public QLineEdit {
    Q_OBJECT
  public:
    explicit CNumberEditBox(QWidget* parent = nullptr);

    // Whether a typed character goes in: digits, Backspace (8) and Tab (9).
    static bool AcceptsChar(char32_t c);

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
};

}  // namespace vt::gui
