#pragma once
// The common base of every window of the program: built from a dialog
// template, controls addressed by their ids, file drops that become
// SetInputFile calls, tool tips showing each control's own text, dragging the
// main window from any free spot, Enter and Escape doing nothing, closing only
// while idle, and a small dialog-data-exchange mechanism.
#include <QDialog>
#include <QSize>
#include <atomic>
#include <functional>
#include <map>
#include <string>

#include "res/DialogTemplates.h"
#include "ui/WindowPlacement.h"

class QPoint;

namespace vt::gui {

class CBaseDialog;

// One run of the data exchange between fields and controls. Once a check
// fails, the remaining exchanges of the run are skipped, the message has been
// shown and the failing control has the focus.
class CDataExchange {
  public:
    CDataExchange(CBaseDialog* dlg, bool saveAndValidate) : dlg_(dlg), save_(saveAndValidate) {}
    bool IsSaving() const { return save_; }
    bool Failed() const { return failed_; }
    CBaseDialog* Dialog() const { return dlg_; }
    // Remembers the control that the next check is about.
    void PrepareCtrl(int id) { lastId_ = id; }
    // Shows the framework's message for the last prepared control, focuses it
    // and stops the run.
    void Fail(const std::string& message);

  private:
    CBaseDialog* dlg_;
    bool save_;
    bool failed_ = false;
    int lastId_ = kNoCtrlId;
};

// Text of control `id` <-> string field.
void DDX_Text(CDataExchange& dx, int id, std::string& value);
// Text of control `id` <-> int field ("Please enter an integer." when the
// text is no integer; the field keeps its value then).
void DDX_Text(CDataExchange& dx, int id, int& value);
// Range check of the value just exchanged (only when saving).
void DDV_MinMaxInt(CDataExchange& dx, int value, int minValue, int maxValue);
// Selection index of combo box `id` <-> int field.
void DDX_CBIndex(CDataExchange& dx, int id, int& index);
// Binds a pointer to the control of that id (nullptr when missing or of
// another class).
template <class W>
void DDX_Control(CDataExchange& dx, int id, W*& control);

// Builds a control for a template entry; returns nullptr to get the standard one.
using CtrlFactory = std::function<QWidget*(const CtrlTemplate&, QWidget* parent)>;

// Dialog units of a template to pixels, from the dialog font's base units.
QSize DialogBaseUnits(const QFont& font);
QRect DluToPixels(const QRect& dlu, QSize baseUnits);

// The window text of a control as the platform would give it: a button's or
// label's text, a group box's title, an edit's content, a combo's current item.
QString WindowText(const QWidget* w);
// The text of a caption with its mnemonic marks resolved ("Stop(&S)" ->
// "Stop(S)", "&&" -> "&"): what a tool tip shows.
QString StripMnemonics(const QString& text);

// The dialog font: a Japanese-capable sans-serif face at the template's size.
QFont DialogFont(int points);

class CBaseDialog : public QDialog {
    Q_OBJECT
  public:
    // templateId: dialog template; parentObject: the owning window object (may
    // be null); sysMenu: kept for completeness, no window has a system menu;
    // child: true for the operation pages.
    CBaseDialog(int templateId, QWidget* parentObject, bool sysMenu, bool child);
    ~CBaseDialog() override;

    // Receives a file from a drop or a file dialog. Does nothing here.
    virtual void SetInputFile(std::string path);
    // Repaints the whole window.
    virtual void Redraw();
    // Creates the window from its template (a child of `parent` for a page,
    // else a top-level window) and runs the initialisation. True on success.
    virtual bool CreateDlg(QWidget* parent);
    // The idle flag: 1 when no operation runs (or after Stop), 0 while one runs.
    virtual int IsIdle() const { return idle_.load(); }
    // True between the start of an operation and its end, even after Stop
    // while the operation winds down.
    virtual bool IsRunning() const { return false; }
    // Sets the window text of control `id`; nothing when there is no such control.
    virtual void SetCtrlText(int id, const std::string& text);
    virtual void OnSizeChanged(int sizeType, int width, int height) {}
    virtual int OnAfterInit(quintptr wParam, qintptr lParam) { return 0; }
    virtual void ApplyTheme() {}

    // Runs the window modally (top-level windows): creates it and waits for
    // it to end; returns its result (2 after a close).
    int DoModal();

    // The control with that id, or nullptr.
    QWidget* GetDlgItem(int id) const;
    // Its window text (empty when missing).
    std::string GetCtrlText(int id) const;
    // Enables or disables control `id` when it exists.
    void EnableCtrl(int id, bool enable);

    // Both directions of the data exchange; false when a check failed.
    bool UpdateData(bool saveAndValidate = true);

    int TemplateId() const { return templateId_; }
    bool IsChild() const { return child_; }
    QSize BaseUnits() const { return baseUnits_; }

    // The close request (the system's close command): closes only while idle.
    virtual void OnSysCommandClose();
    // What the close message does: exchange from the controls, minimise to
    // 1 x 1, end with the result 2.
    void OnCloseMessage();

    // Framework commands reached from the system command path.
    static constexpr unsigned kCmdHelp = 57670;
    static constexpr unsigned kCmdAbout = 57664;
    // System command handling: help and about go to the application, close
    // closes only while idle.
    virtual void OnSysCommand(unsigned id);

    // Whether a mouse move with these buttons and modifiers drags the main
    // window: exactly the left button, no modifier key.
    static bool IsDragGesture(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

  signals:
    // An operation of this window started or ended.
    void runningChanged(bool running);

  protected:
    // Called once the controls exist. Derived classes call their base first.
    virtual bool OnInitDialog();
    virtual void DoDataExchange(CDataExchange& dx) {}
    // Lets a derived class build some controls itself (number edits, lists,
    // the title row).
    virtual QWidget* CreateControl(const CtrlTemplate& ctrl, QWidget* parent) { return nullptr; }
    // Registers a control under an id (controls made outside the template).
    void RegisterCtrl(int id, QWidget* w);

    void accept() override {}  // Enter does nothing
    void reject() override {}  // Escape does nothing
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

    // Moves the top-level window while a free spot of this dialog is dragged.
    vt::CWindowMover mover_;

    std::atomic<int> idle_{1};
    QWidget* parentObject_;

  private:
    void BuildFromTemplate();
    bool ShowToolTipFor(QWidget* w, const QPoint& globalPos);

    int sysMenu_;
    int templateId_;
    bool child_;
    bool created_ = false;
    QSize baseUnits_;
    std::map<int, QWidget*> controls_;
};

// A dialog with a solid background colour; its static texts, group boxes and
// read-only edits draw in the text colour, transparently on that background.
class CBaseColorDialog : public CBaseDialog {
    Q_OBJECT
  public:
    CBaseColorDialog(int templateId, QWidget* parentObject, unsigned bkColor, unsigned textColor,
                     bool sysMenu, bool child);
    unsigned BackgroundColor() const { return bkColor_; }
    unsigned TextColor() const { return textColor_; }
    void ApplyTheme() override {}

  protected:
    bool OnInitDialog() override;

  private:
    unsigned bkColor_;
    unsigned textColor_;
};

// COLORREF (0x00BBGGRR) <-> colour.
QColor FromColorRef(unsigned c);
unsigned ToColorRef(const QColor& c);
// The system colour of button text as a COLORREF.
unsigned SysButtonTextColor();

template <class W>
void DDX_Control(CDataExchange& dx, int id, W*& control) {
    if (dx.Failed()) return;
    control = qobject_cast<W*>(dx.Dialog()->GetDlgItem(id));
}

}  // namespace vt::gui
