#include "ops/BaseOpe.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QThread>
#include <algorithm>

#include "app/ModalBoxes.h"
#include "core/ErrorCodes.h"
#include "core/Settings.h"
#include "core/Strings.h"
#include "ops/OutputGuard.h"
#include "ops/PageTable.h"
#include "verify/VerifyOutput.h"

namespace vt::gui {
namespace {

// Controls that change a page's inputs, output or list; locked while it runs.
constexpr int kInputCtrls[] = {1042, 1053, 1056, 1059, 1071, 1072, 1073, 1081,
                               1082, 1083, 1084, 1085, 1086, 1087, 1088};
constexpr int kStartButtons[] = {kIdStart, kIdStartVideo, kIdStartAudio};

// String pair of the refusal to overwrite an input.
constexpr unsigned kStrOutputIsInput = 10201;
constexpr unsigned kStrAppName = 10203;
// String pairs of the output check.
constexpr unsigned kStrVerifyOutput = 10205;
constexpr unsigned kStrVerifying = 10207;
constexpr unsigned kStrOutputDiffers = 10209;

// The format (format selector data) of a page, from its class's row of the
// page table; -1 for a page that is not in it.
int PageFormat(const QObject* page) {
    std::string name = page->metaObject()->className();
    const auto colon = name.rfind(':');
    if (colon != std::string::npos) name.erase(0, colon + 1);
    for (const PageInfo& p : Pages()) {
        if (p.className != name) continue;
        for (const FormatItem& f : FormatItems())
            for (const OperationItem& o : OperationItems(f.data))
                if (o.pageNumber == p.pageNumber) return f.data;
    }
    return -1;
}

}  // namespace

CBaseOpe::CBaseOpe(int templateId, QWidget* parentObject, unsigned bkColor)
    : CBaseColorDialog(templateId, parentObject, bkColor, SysButtonTextColor(), false, true) {
    idle_ = 1;
}

CBaseOpe::~CBaseOpe() = default;

bool CBaseOpe::OnInitDialog() {
    const bool ok = CBaseColorDialog::OnInitDialog();
    OnClicked(kIdStop, [this] { OnStop(); });
    // The output check, in the page's context menu; the controls stay as they are.
    verifyAction_ =
        new QAction(QString::fromStdString(LoadStringPair(kStrVerifyOutput, kStrVerifyOutput + 1)), this);
    verifyAction_->setObjectName("verifyOutput");
    verifyAction_->setCheckable(true);
    verifyAction_->setChecked(ReadVerifyOutput());
    connect(verifyAction_, &QAction::toggled, this, [](bool on) { WriteVerifyOutput(on); });
    addAction(verifyAction_);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    // The information line may take the room down to the progress bar and
    // wraps there; a text that still does not fit gets a smaller font.
    if (auto* info = qobject_cast<QLabel*>(GetDlgItem(kIdInfo))) {
        info->setWordWrap(true);
        if (QWidget* bar = GetDlgItem(kIdProgress)) {
            QRect r = info->geometry();
            if (bar->geometry().top() - 1 > r.bottom() && bar->geometry().left() <= r.right())
                r.setBottom(bar->geometry().top() - 1);
            info->setGeometry(r);
        }
        FitInfoLine();
    }
    return ok;
}

void CBaseOpe::SetCtrlText(int id, const std::string& text) {
    CBaseColorDialog::SetCtrlText(id, text);
    if (id == kIdInfo) FitInfoLine();
}

QFont InfoLineFont(const QFont& base, const QRect& box, const QString& text) {
    QFont f = base;
    const int largest = std::max(1, base.pointSize());
    for (int points = largest; points >= 1; --points) {
        f.setPointSize(points);
        const QRect need =
            QFontMetrics(f).boundingRect(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
        if (need.width() <= box.width() && need.height() <= box.height()) break;
    }
    return f;
}

void CBaseOpe::FitInfoLine() {
    auto* info = qobject_cast<QLabel*>(GetDlgItem(kIdInfo));
    if (!info) return;
    const QFont f = InfoLineFont(font(), info->contentsRect(), info->text());
    if (f != info->font()) info->setFont(f);
}

void CBaseOpe::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, kIdOutputEdit, OutputPath());
    DDX_Control(dx, kIdProgress, progress_);
}

bool CBaseOpe::event(QEvent* e) {
    // Another page may have changed the setting since this menu was last shown.
    if (e->type() == QEvent::ContextMenu && verifyAction_) {
        const QSignalBlocker quiet(verifyAction_);
        verifyAction_->setChecked(ReadVerifyOutput());
    }
    return CBaseColorDialog::event(e);
}

void CBaseOpe::OnClicked(int id, std::function<void()> handler) {
    if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(id)))
        connect(b, &QAbstractButton::clicked, this, [h = std::move(handler)] { h(); });
}

void CBaseOpe::RunOnUiThread(const std::function<void()>& f) {
    if (QThread::currentThread() == thread())
        f();
    else
        QMetaObject::invokeMethod(this, f, Qt::BlockingQueuedConnection);
}

void CBaseOpe::SetStartButtons(bool enable) {
    EnableCtrl(kIdStop, !enable);
    for (int id : kStartButtons) EnableCtrl(id, enable);
}

void CBaseOpe::LockInputs(bool lock) {
    for (int id : kInputCtrls) EnableCtrl(id, !lock);
}

void CBaseOpe::UpdateProgressDisplay(int position, const std::string& text) {
    if (progress_) progress_->setValue(position);
    SetCtrlText(kIdInfo, text);
}

bool CBaseOpe::BeginOperation() {
    bool started = false;
    RunOnUiThread([&] {
        if (running_) return;
        if (!UpdateData(true)) return;
        if (OutputNamesAnInput(OutputPath(), InputPaths())) {
            ModalBox box;
            box.owner = this;
            box.text = LoadStringPair(kStrOutputIsInput, kStrOutputIsInput + 1);
            box.caption = LoadStringPair(kStrAppName, kStrAppName + 1);
            box.icon = BoxIcon::Error;
            ShowModalBox(box);
            return;
        }
        UpdateProgressDisplay(0, "  0 %");
        idle_ = 0;
        running_ = true;
        SetStartButtons(false);
        LockInputs(true);
        stopwatch_.Clear();
        stopwatch_.Start();
        stopwatch_.SetInterval(500);
        // The job as the run reads it from the fields now, when its output is to be checked.
        verifyJob_.reset();
        if (ReadVerifyOutput()) verifyJob_ = JobOfFields();
        DeleteExistingOutput(OutputPath());
        started = true;
        emit runningChanged(true);
    });
    return started;
}

void CBaseOpe::EndOperation() {
    const std::string verified = VerifyEndingRun();
    RunOnUiThread([&] {
        if (idle_ == 0) UpdateProgressDisplay(100, verified.empty() ? "100 %" : "100 %  " + verified);
        idle_ = 1;
        SetStartButtons(true);
        const bool wasRunning = running_.exchange(false);
        LockInputs(false);
        if (wasRunning) emit runningChanged(false);
    });
}

std::string CBaseOpe::VerifyEndingRun() {
    std::optional<OpJob> job;
    RunOnUiThread([&] { job.swap(verifyJob_); });
    // Nothing to check after a failure (its box has made the page idle) or a stop.
    if (!job || idle_ != 0) return {};
    const bool uiThread = QThread::currentThread() == thread();
    RunOnUiThread(
        [&] { SetCtrlText(kIdInfo, "100 %  " + LoadStringPair(kStrVerifying, kStrVerifying + 1)); });
    // On the user-interface thread the window keeps answering (and Stop ends the check).
    const VerifyResult result = VerifyOutput(*job, PageFormat(this), [this, uiThread] {
        if (uiThread) ::vt::gui::PumpMessages();
        return idle_ == 0;
    });
    if (result.stopped || idle_ != 0) return {};
    if (result.ok) return result.Summary();
    ModalBox box;
    box.owner = this;
    box.text = LoadStringPair(kStrOutputDiffers, kStrOutputDiffers + 1) + "\n" + job->output + "\n" +
               result.difference;
    box.caption = LoadStringPair(kStrAppName, kStrAppName + 1);
    box.icon = BoxIcon::Error;
    RunOnUiThread([&] { ShowModalBox(box); });
    return result.Summary();
}

void CBaseOpe::OnStop() {
    idle_ = 1;
    SetStartButtons(true);
}

void CBaseOpe::ShowErrorMessage(std::string detail, int code) {
    if (code == 0) return;
    int expected = 0;
    // Nothing is shown once the page is idle: after Stop, or after the run's
    // one report (which makes it idle; atomically, as workers may report).
    if (!idle_.compare_exchange_strong(expected, 1)) return;
    const std::string text = ErrorBoxText(detail, code);
    if (text.empty()) return;
    ModalBox box;
    box.owner = this;
    box.text = text;
    box.caption = ErrorCaption(code);
    box.icon = BoxIcon::Error;
    RunOnUiThread([&] { ShowModalBox(box); });
}

void CBaseOpe::ReportProgress(double percent) {
    ::vt::gui::ReportProgress(this, percent);
}

bool CBaseOpe::AskOkCancel(const std::string& text, const std::string& caption) {
    ModalBox box;
    box.owner = this;
    box.text = text;
    box.caption = caption;
    box.buttons = BoxButtons::OkCancel;
    int answer = kIdCancel;
    RunOnUiThread([&] { answer = ShowModalBox(box); });
    return answer == kIdOk;
}

void CBaseOpe::PumpMessages() {
    if (QThread::currentThread() == thread()) ::vt::gui::PumpMessages();
}

std::string CBaseOpe::FolderKey(const char* kind) const {
    // The page's class without its namespace: "CAVIExtract.Open".
    std::string name = metaObject()->className();
    const auto colon = name.rfind(':');
    if (colon != std::string::npos) name.erase(0, colon + 1);
    return name + "." + kind;
}

std::vector<std::string> CBaseOpe::ChooseInputFiles(std::string initialFile, std::string filter,
                                                    std::string defaultExt, bool multiSelect) {
    FileDialogRequest r;
    r.initialFile = std::move(initialFile);
    r.filter = std::move(filter) + AllFilesFilter();
    r.defaultExt = std::move(defaultExt);
    r.multiSelect = multiSelect;
    r.folderKey = FolderKey("Open");
    return RunFileDialog(r);
}

void CBaseOpe::BrowseInputFile(std::string initialFile, std::string filter, std::string defaultExt) {
    if (IsRunning()) return;
    const auto chosen = ChooseInputFiles(std::move(initialFile), std::move(filter), std::move(defaultExt));
    if (!chosen.empty()) SetInputFile(chosen.front());
}

void CBaseOpe::BrowseOutputFile(std::string filter, std::string defaultExt) {
    if (IsRunning()) return;
    UpdateData(true);
    FileDialogRequest r;
    r.save = true;
    r.initialFile = OutputPath();
    r.filter = std::move(filter);
    r.defaultExt = std::move(defaultExt);
    r.folderKey = FolderKey("Save");
    const auto chosen = RunFileDialog(r);
    if (!chosen.empty() && !IsRunning()) OutputPath() = chosen.front();
    UpdateData(false);
}

void ReportProgress(CBaseOpe* page, double percent) {
    if (!page) return;
    CTimeMmanager& clock = page->Stopwatch();
    if (!clock.IsIntervalElapsed()) return;
    const int position = ProgressPosition(percent);
    const std::string text = FormatProgressText(percent, clock.GetTotal() / 1000.0);
    if (QThread::currentThread() == page->thread()) {
        if (QProgressBar* bar = page->ProgressBar()) bar->setValue(position);
        page->SetCtrlText(kIdInfo, text);
        clock.Accumulate();
        PumpMessages();
        clock.Start();
    } else {
        // Worker threads leave the drawing to the user-interface thread.
        QMetaObject::invokeMethod(
            page,
            [page, position, text] {
                if (QProgressBar* bar = page->ProgressBar()) bar->setValue(position);
                page->SetCtrlText(kIdInfo, text);
            },
            Qt::QueuedConnection);
        clock.Accumulate();
        clock.Start();
    }
}

int PumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return QCoreApplication::closingDown() ? 1 : 0;
}

std::string AllFilesFilter() {
    return SelectByLanguage("すべてのファイル  (*.*)|*.*|", "all (*.*)|*.*|");
}

}  // namespace vt::gui
