#pragma once
// The main window: a title row, the format and operation selectors, and the
// area below them in which one of the thirteen operation pages shows.
#include <string>

#include "app/BaseDialog.h"
#include "app/BaseDialogList.h"

class QComboBox;

namespace vt::gui {

// Control ids of the main window.
enum MainCtrl : int {
    kIdTitleBar = 1000,
    kIdMinButton = 1001,
    kIdCloseButton = 1002,
    kIdHelpButton = 1003,
    kIdAboutButton = 1004,
    kIdPageArea = 1005,
    kIdFormatSelector = 1070,
    kIdOperationSelector = 1072,
};

// Builds one of the five title-row controls (title bar, About, Help, Min, Close).
QWidget* CreateTitleRowControl(const CtrlTemplate& ctrl, QWidget* parent);
// The face colour of a title-row control (COLORREF); redraws it at once.
void SetTitleRowFaceColor(QWidget* control, unsigned color);
unsigned TitleRowFaceColor(const QWidget* control);
// The title bar's text.
void SetTitleRowText(QWidget* titleBar, const std::string& text);

class CVantorelDlg : public CBaseDialog {
    Q_OBJECT
  public:
    CVantorelDlg();
    ~CVantorelDlg() override;

    // The colour of the current page (0 for an unknown page number).
    virtual unsigned GetPageColor() const;
    // Forwards the file to the current page.
    void SetInputFile(std::string path) override;
    void ApplyTheme() override {}
    void OnSysCommand(unsigned id) override;

    CBaseDialogList& PageList() { return pages_; }
    int CurrentPage() const { return currentPage_; }
    int StoredFormatIndex() const { return formatIndex_; }
    QComboBox* FormatSelector() const { return formatCombo_; }
    QComboBox* OperationSelector() const { return operationCombo_; }

  public slots:
    void OnSelchangeFormat();     // 1070
    void OnSelchangeOperation();  // 1072
    void OnClose();               // 1002
    void OnMin();                 // 1001
    void OnHelp();                // 1003
    void OnAbout();               // 1004

    // Ends the window; its place is remembered for the next start.
    void done(int result) override;

  protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    QWidget* CreateControl(const CtrlTemplate& ctrl, QWidget* parent) override;

  private:
    void FillOperationSelector();
    void ApplyColors();
    void CreatePages(const QRect& area);
    void UpdateSelectorsEnabled();
    void RestorePlace();

    int currentPage_ = 0;
    CBaseDialogList pages_;
    QComboBox* formatCombo_ = nullptr;
    QComboBox* operationCombo_ = nullptr;
    int formatIndex_ = -1;
};

}  // namespace vt::gui
