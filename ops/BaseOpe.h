#pragma once
// The common base of the operation pages: output path, progress bar and
// progress text, Stop, the stopwatch, the file dialogs, and the running state.
// It is also the pages' OperationHost, so operation code reports through it.
#include <QFont>
#include <QRect>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/BaseDialog.h"
#include "core/OperationHost.h"
#include "ops/OpContract.h"
#include "ops/TimeManager.h"

class QAction;
class QProgressBar;

namespace vt::gui {

// Control ids shared by the operation templates.
enum OpeCtrl : int {
    kIdInputGroup = 1041,
    kIdFileList = 1042,
    kIdSourceLabel = 1051,
    kIdSourceEdit = 1052,
    kIdSourceBrowse = 1053,
    kIdAudioLabel = 1054,
    kIdAudioEdit = 1055,
    kIdAudioBrowse = 1056,
    kIdOutputGroup = 1057,
    kIdOutputEdit = 1058,
    kIdOutputBrowse = 1059,
    kIdStartVideo = 1061,
    kIdStartAudio = 1062,
    kIdStart = 1063,
    kIdStop = 1064,
    kIdInfo = 1065,
    kIdProgress = 1066,
    kIdProgressGroup = 1067,
    kIdAdd = 1071,
    kIdReset = 1072,
    kIdDel = 1073,
};

class CBaseOpe : public CBaseColorDialog, public OperationHost {
    Q_OBJECT
  public:
    CBaseOpe(int templateId, QWidget* parentObject, unsigned bkColor);
    ~CBaseOpe() override;

    // Leaves the running state: bar and text at 100 unless stopped or failed,
    // idle flag 1, Stop off, start buttons on. Any thread.
    virtual void EndOperation();
    // Enters the running state: reads the controls, resets bar and text, idle
    // flag 0, Stop on, start buttons off, clock restarted, an existing output
    // deleted. Returns false, with nothing changed or deleted, when the run is
    // refused: a previous run has not ended yet, a field is out of range (its
    // message was shown), or the output path names one of the inputs (a
    // message says so). Any thread.
    //
    // A start handler therefore reads:
    //   prepare the fields (for example the output's final extension);
    //   if (!BeginOperation()) return;
    //   const int code = <the operation, with this page as its OperationHost>;
    //   if (code != 0) ShowErrorMessage("", code);
    //   EndOperation();
    virtual bool BeginOperation();

    // Shows an error code once per run (see the error table); sets the idle
    // flag. Any thread; the box is shown by the user-interface thread.
    void ShowErrorMessage(std::string detail, int code);

    bool IsRunning() const override { return running_.load(); }
    // The information line keeps its text inside its box.
    void SetCtrlText(int id, const std::string& text) override;

    // OperationHost.
    void ReportProgress(double percent) override;
    bool StopRequested() const override { return IsIdle() != 0; }
    void ReportError(const std::string& detail, int code) override { ShowErrorMessage(detail, code); }
    bool AskOkCancel(const std::string& text, const std::string& caption) override;
    void PumpMessages() override;

    // Open dialog; the chosen file goes to SetInputFile. The language's entry
    // for all files is appended to the filter.
    void BrowseInputFile(std::string initialFile, std::string filter, std::string defaultExt);
    // Save dialog starting from the output path; the choice becomes the output.
    void BrowseOutputFile(std::string filter, std::string defaultExt);

    // The output path field (edit 1058).
    virtual std::string& OutputPath() = 0;
    // The input paths that the operation reads (compared with the output).
    virtual std::vector<std::string> InputPaths() const = 0;

    // The job the page's fields describe now, for the check of the output
    // after a run (the kinds give it; none: the output is not checked).
    virtual std::optional<OpJob> JobOfFields() const { return std::nullopt; }
    // "Verify the output", in the page's context menu: when it is on (a
    // setting all pages share), a run that ends well reads its output back
    // and compares it with the inputs (verify/VerifyOutput.h); the progress
    // line shows "verified: ...", a difference gets an error box. The check
    // runs on the thread that ends the run: the user-interface thread with
    // message pumping for AVI, WAV and FLV, the worker for WMV and WMA.
    QAction* VerifyAction() const { return verifyAction_; }

    CTimeMmanager& Stopwatch() { return stopwatch_; }
    // Runs `f` on the user-interface thread, waiting for it when called from another.
    void RunOnUiThread(const std::function<void()>& f);
    QProgressBar* ProgressBar() const { return progress_; }

  public slots:
    // Click of Stop (1064): idle flag 1, Stop off, start buttons on.
    void OnStop();

  protected:
    // The open dialog of the browse buttons: the language's entry for all
    // files appended to the filter. The chosen paths; empty when cancelled.
    std::vector<std::string> ChooseInputFiles(std::string initialFile, std::string filter,
                                              std::string defaultExt, bool multiSelect = false);

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    // The context menu shows the shared setting as it is now.
    bool event(QEvent* e) override;
    // Runs `handler` on clicks of button `id` (when the template has it).
    void OnClicked(int id, std::function<void()> handler);
    // Enables or disables what may change the page's inputs, output or list.
    virtual void LockInputs(bool lock);

  private:
    // The name under which a file dialog of this page remembers its folder.
    std::string FolderKey(const char* kind) const;
    void SetStartButtons(bool enable);
    void FitInfoLine();
    void UpdateProgressDisplay(int position, const std::string& text);
    // Checks the output of the run that ends when the option was on at its
    // start and the run ended well; the line for the progress display, or
    // empty. A difference is shown in an error box.
    std::string VerifyEndingRun();

    CTimeMmanager stopwatch_;
    QAction* verifyAction_ = nullptr;
    std::optional<OpJob> verifyJob_;  // the run's job while its output is to be checked
    QProgressBar* progress_ = nullptr;
    std::atomic<bool> running_{false};
};

// The font for the information line: `base`, or the largest smaller size in
// which `text`, wrapped, fits `box`.
QFont InfoLineFont(const QFont& base, const QRect& box, const QString& text);

// Progress of a page's operation: at most one display update per 500 ms of
// measured time, then the waiting messages are handled.
void ReportProgress(CBaseOpe* page, double percent);
// Handles the waiting window messages. Returns 1 when the program is quitting.
int PumpMessages();
// The language's entry for all files: "all (*.*)|*.*|" or the Japanese one.
std::string AllFilesFilter();

}  // namespace vt::gui
