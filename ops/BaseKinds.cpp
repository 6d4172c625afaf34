#include "ops/BaseKinds.h"

#include <QLabel>
#include <QListWidget>
#include <QTimer>
#include <cstdio>

#include "app/ModalBoxes.h"
#include "core/Strings.h"
#include "ops/NumberEditBox.h"
#include "ui/DragListBox.h"

namespace vt::gui {
namespace {

struct Caption {
    int ctrlId;
    unsigned stringId;
};

void Relabel(CBaseDialog* dlg, std::initializer_list<Caption> captions) {
    for (const Caption& c : captions) dlg->SetCtrlText(c.ctrlId, LoadStringPair(c.stringId, c.stringId + 1));
}

// Captions of the shared controls per kind, in the order they are set.
constexpr unsigned kStrInputGroup = 10001, kStrVideoSrc = 10003, kStrAudioSrc = 10005, kStrOutputDst = 10007,
                   kStrProgress = 10009, kStrInfoCreator = 10011, kStrStop = 10013, kStrComb = 10015,
                   kStrInputSrc = 10023, kStrInfoCutter = 10029, kStrVideoCut = 10033, kStrAudioCut = 10035,
                   kStrInfoExtract = 10049, kStrExtra = 10053, kStrRange = 10055, kStrHour = 10057,
                   kStrMinute = 10059, kStrSecond = 10061, kStrInfoLinker = 10077, kStrLink = 10081,
                   kStrDel = 10083, kStrReset = 10085, kStrAdd = 10087;

void SetInOutFormatLabels(CBaseDialog* dlg, const std::string& input, const std::string& output) {
    SetFormatCaption(dlg, kIdSourceLabel, kStrInputSrc, input);
    SetFormatCaption(dlg, kIdOutputGroup, kStrOutputDst, output);
}

}  // namespace

void SetFormatCaption(CBaseDialog* dlg, int ctrlId, unsigned stringId, const std::string& formats) {
    dlg->SetCtrlText(ctrlId, LoadStringPair(stringId, stringId + 1) + "[" + formats + "]");
}

// ---- union ----

CBaseCreator::CBaseCreator(QWidget* parentObject, unsigned bkColor)
    : CBaseOpe(kTemplateCreator, parentObject, bkColor) {}

bool CBaseCreator::OnInitDialog() {
    CBaseOpe::OnInitDialog();
    Relabel(this, {{kIdInputGroup, kStrInputGroup},
                   {kIdProgressGroup, kStrProgress},
                   {kIdInfo, kStrInfoCreator},
                   {kIdStop, kStrStop},
                   {kIdStart, kStrComb}});
    OnClicked(kIdSourceBrowse, [this] { OnBrowseVideo(); });
    OnClicked(kIdAudioBrowse, [this] { OnBrowseAudio(); });
    OnClicked(kIdOutputBrowse, [this] { OnBrowseOutput(); });
    OnClicked(kIdStart, [this] { OnStart(); });
    return true;
}

void CBaseCreator::DoDataExchange(CDataExchange& dx) {
    CBaseOpe::DoDataExchange(dx);
    DDX_Text(dx, kIdSourceEdit, fields_.videoSource);
    DDX_Text(dx, kIdAudioEdit, fields_.audioSource);
}

void CBaseCreator::AssignSourceFile(std::string path, std::string outputExt, std::string audioExt) {
    if (IsRunning()) return;
    UpdateData(true);
    vt::AssignSourceFile(fields_, path, outputExt, audioExt);
    UpdateData(false);
}

void CBaseCreator::BrowseSourceFile(std::string initialFile, std::string filter, std::string defaultExt,
                                    int routeToInput) {
    if (IsRunning()) return;
    const auto chosen = ChooseInputFiles(std::move(initialFile), std::move(filter), std::move(defaultExt));
    if (chosen.empty() || IsRunning()) return;
    UpdateData(true);
    if (routeToInput)
        SetInputFile(chosen.front());
    else
        fields_.audioSource = chosen.front();
    UpdateData(false);
}

void CBaseCreator::SetFormatLabels(const std::string& video, const std::string& audio,
                                   const std::string& output) {
    SetFormatCaption(this, kIdSourceLabel, kStrVideoSrc, video);
    SetFormatCaption(this, kIdAudioLabel, kStrAudioSrc, audio);
    SetFormatCaption(this, kIdOutputGroup, kStrOutputDst, output);
}

// ---- separation ----

CBaseCutter::CBaseCutter(QWidget* parentObject, unsigned bkColor)
    : CBaseOpe(kTemplateCutter, parentObject, bkColor) {}

bool CBaseCutter::OnInitDialog() {
    CBaseOpe::OnInitDialog();
    Relabel(this, {{kIdInputGroup, kStrInputGroup},
                   {kIdInfo, kStrInfoCutter},
                   {kIdStop, kStrStop},
                   {kIdStartVideo, kStrVideoCut},
                   {kIdStartAudio, kStrAudioCut},
                   {kIdProgressGroup, kStrProgress}});
    OnClicked(kIdSourceBrowse, [this] { OnBrowseInput(); });
    OnClicked(kIdOutputBrowse, [this] { OnBrowseOutput(); });
    OnClicked(kIdStartVideo, [this] {
        stream_ = SeparateStream::Video;
        OnVideoCut();
    });
    OnClicked(kIdStartAudio, [this] {
        stream_ = SeparateStream::Audio;
        OnAudioCut();
    });
    return true;
}

void CBaseCutter::DoDataExchange(CDataExchange& dx) {
    CBaseOpe::DoDataExchange(dx);
    DDX_Text(dx, kIdSourceEdit, fields_.input);
}

void CBaseCutter::SetInputFile(std::string path) {
    if (IsRunning()) return;
    UpdateData(true);
    vt::SetInputFile(fields_, path);
    UpdateData(false);
}

void CBaseCutter::SetFormatLabels(const std::string& input, const std::string& output) {
    SetInOutFormatLabels(this, input, output);
}

// ---- connection ----

CBaseLinker::CBaseLinker(QWidget* parentObject, unsigned bkColor)
    : CBaseOpe(kTemplateLinker, parentObject, bkColor) {}

QListWidget* CBaseLinker::CreateFileList(QWidget* parent) {
    return new CDragListBoxEx(parent);
}

QWidget* CBaseLinker::CreateControl(const CtrlTemplate& ctrl, QWidget* parent) {
    if (ctrl.id != kIdFileList) return nullptr;
    list_ = CreateFileList(parent);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSortingEnabled(false);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return list_;
}

bool CBaseLinker::OnInitDialog() {
    // Files dropped on the list belong to the page.
    if (list_) {
        list_->setAcceptDrops(false);
        list_->viewport()->setAcceptDrops(false);
    }
    CBaseOpe::OnInitDialog();
    Relabel(this, {{kIdInputGroup, kStrInputGroup},
                   {kIdProgressGroup, kStrProgress},
                   {kIdInfo, kStrInfoLinker},
                   {kIdStop, kStrStop},
                   {kIdStart, kStrLink},
                   {kIdDel, kStrDel},
                   {kIdReset, kStrReset},
                   {kIdAdd, kStrAdd}});
    OnClicked(kIdDel, [this] { OnDel(); });
    OnClicked(kIdReset, [this] { OnReset(); });
    OnClicked(kIdAdd, [this] { OnAdd(); });
    OnClicked(kIdOutputBrowse, [this] { OnBrowseOutput(); });
    OnClicked(kIdStart, [this] { OnStart(); });
    return true;
}

void CBaseLinker::DoDataExchange(CDataExchange& dx) {
    CBaseOpe::DoDataExchange(dx);
    if (dx.Failed() || !list_) return;
    if (dx.IsSaving()) {
        // The list's order is the join order, including any reordering by the user.
        fields_.files.clear();
        for (int i = 0; i < list_->count(); ++i)
            fields_.files.push_back(list_->item(i)->text().toStdString());
        return;
    }
    SyncList(fields_.files);
}

void CBaseLinker::SyncList(const std::vector<std::string>& files) {
    const int n = list_->count();
    const int m = int(files.size());
    auto sameAt = [&](int row, int file) {
        return list_->item(row)->text().toStdString() == files[size_t(file)];
    };
    // The common head of the list and the files.
    int head = 0;
    while (head < n && head < m && sameAt(head, head)) ++head;
    if (head == n && head == m) return;
    auto* drag = qobject_cast<CDragListBoxEx*>(list_);
    if (!drag) {
        list_->clear();
        for (const std::string& f : files) list_->addItem(QString::fromStdString(f));
        return;
    }
    // The list's own operations keep its extent and selection right: files
    // added at the end, one entry removed, or else a new list.
    if (head == n) {
        for (int i = head; i < m; ++i) drag->AddItem(QString::fromStdString(files[size_t(i)]));
        return;
    }
    if (m == n - 1) {
        bool rest = true;
        for (int i = head; rest && i < m; ++i) rest = sameAt(i + 1, i);
        if (rest) {
            drag->RemoveItem(head);
            return;
        }
    }
    drag->ResetItems();
    for (const std::string& f : files) drag->AddItem(QString::fromStdString(f));
}

void CBaseLinker::SetInputFile(std::string path) {
    if (IsRunning()) return;
    UpdateData(true);
    vt::SetInputFile(fields_, path);
    UpdateData(false);
}

void CBaseLinker::OnDel() {
    if (IsRunning() || !list_) return;
    UpdateData(true);
    const QListWidgetItem* current = list_->currentItem();
    const int index = current && current->isSelected() ? list_->currentRow() : -1;
    RemoveEntry(fields_, index);
    UpdateData(false);
}

void CBaseLinker::OnReset() {
    if (IsRunning()) return;
    ResetList(fields_);
    UpdateData(false);
}

void CBaseLinker::BrowseAddFiles(std::string filter, std::string defaultExt) {
    if (IsRunning()) return;
    for (const std::string& path : ChooseInputFiles({}, std::move(filter), std::move(defaultExt), true))
        SetInputFile(path);
}

void CBaseLinker::SetFormatLabels(const std::string& output) {
    SetFormatCaption(this, kIdOutputGroup, kStrOutputDst, output);
}

// ---- section extraction ----

bool CBaseLinker::ConfirmJoin(const std::string& question) {
    ModalBox box;
    box.owner = this;
    box.text = question;
    box.caption = "Vantorel";
    box.icon = BoxIcon::Question;
    box.buttons = BoxButtons::OkCancel;
    box.cancelIsDefault = true;
    return ShowModalBox(box) == kIdOk;
}

CBaseExtract::CBaseExtract(QWidget* parentObject, unsigned bkColor)
    : CBaseOpe(kTemplateExtract, parentObject, bkColor) {}

QWidget* CBaseExtract::CreateControl(const CtrlTemplate& ctrl, QWidget* parent) {
    if (ctrl.id < 1081 || ctrl.id > 1088) return nullptr;
    auto* edit = new CNumberEditBox(parent);
    timeEdits_[1088 - ctrl.id] = edit;
    return edit;
}

bool CBaseExtract::OnInitDialog() {
    CBaseOpe::OnInitDialog();
    Relabel(this, {{kIdInputGroup, kStrInputGroup},
                   {1089, kStrRange},
                   {1090, kStrHour},
                   {1091, kStrHour},
                   {1092, kStrMinute},
                   {1093, kStrMinute},
                   {1094, kStrSecond},
                   {1095, kStrSecond},
                   {kIdProgressGroup, kStrProgress},
                   {kIdInfo, kStrInfoExtract},
                   {kIdStop, kStrStop},
                   {kIdStart, kStrExtra}});
    OnClicked(kIdSourceBrowse, [this] { OnBrowseInput(); });
    OnClicked(kIdOutputBrowse, [this] { OnBrowseOutput(); });
    OnClicked(kIdStart, [this] { OnStart(); });

    // Where the section really begins, on a line of its own below the range
    // (inside the input group), recomputed once the typing pauses.
    QWidget* first = GetDlgItem(1081);
    QWidget* last = GetDlgItem(1095);
    if (first && last && first->parentWidget()) {
        auto* label = new QLabel(first->parentWidget());
        const QRect a = first->geometry(), b = last->geometry();
        label->setGeometry(a.left(), a.bottom() + 3, b.right() - a.left(), a.height());
        label->show();
        RegisterCtrl(kIdRealStart, label);
    }
    rangeTimer_ = new QTimer(this);
    rangeTimer_->setSingleShot(true);
    rangeTimer_->setInterval(kRangeTypedDelayMs);
    connect(rangeTimer_, &QTimer::timeout, this, [this] {
        TimeFields start, end;
        if (IsRunning() || fields_.input.empty() || !TypedRange(start, end)) {
            ShowRealStart();
            return;
        }
        OnRangeTyped(start, end);
    });
    for (CNumberEditBox* edit : timeEdits_)
        if (edit) connect(edit, &QLineEdit::textChanged, rangeTimer_, [this] { rangeTimer_->start(); });
    return true;
}

bool CBaseExtract::TypedRange(TimeFields& start, TimeFields& end) const {
    ExtractFields typed;
    for (int i = 0; i < kTimeFieldCount; ++i) {
        const TimeFieldSpec& rule = GetTimeFieldSpec(TimeField(i));
        bool ok = false;
        const std::string text = GetCtrlText(rule.editId);
        const int value = QString::fromStdString(text).toInt(&ok);
        if (!ok || value < rule.min || value > rule.max) return false;
        TimeFieldValue(typed, rule.field) = value;
    }
    start = typed.start;
    end = typed.end;
    return true;
}

void CBaseExtract::ShowRealStart() {
    if (QWidget* w = GetDlgItem(kIdRealStart)) qobject_cast<QLabel*>(w)->clear();
}

void CBaseExtract::ShowRealStart(const TimeFields& asked, const TimeFields& real) {
    auto* label = qobject_cast<QLabel*>(GetDlgItem(kIdRealStart));
    if (!label) return;
    const int64_t ms = ToMilliseconds(real);
    char time[48];
    std::snprintf(time, sizeof time, "%d:%02d:%02d.%03d", int(ms / 3600000), int(ms / 60000 % 60),
                  int(ms / 1000 % 60), int(ms % 1000));
    std::string text = SelectByLanguage("実際の開始: ", "Real start: ") + time;
    if (ToMilliseconds(asked) != ms) text += SelectByLanguage(" (キーフレーム)", " (key frame)");
    label->setText(QString::fromStdString(text));
}

void CBaseExtract::DoDataExchange(CDataExchange& dx) {
    CBaseOpe::DoDataExchange(dx);
    DDX_Text(dx, kIdSourceEdit, fields_.input);
    for (int i = 0; i < kTimeFieldCount; ++i) {
        const TimeFieldSpec& rule = GetTimeFieldSpec(TimeField(i));
        int& value = TimeFieldValue(fields_, rule.field);
        DDX_Text(dx, rule.editId, value);
        DDV_MinMaxInt(dx, value, rule.min, rule.max);
        // Milliseconds show their three digits (5.046 s is "5" and "046");
        // typed, "46" is still 46 ms.
        const bool millis =
            rule.field == TimeField::StartMilliseconds || rule.field == TimeField::EndMilliseconds;
        if (millis && !dx.IsSaving() && !dx.Failed() && value >= 0 && value <= 999) {
            char text[8];
            std::snprintf(text, sizeof text, "%03d", value);
            SetCtrlText(rule.editId, text);
        }
    }
}

void CBaseExtract::SetInputFile(std::string path) {
    if (IsRunning()) return;
    UpdateData(true);
    vt::SetInputFile(fields_, path);
    UpdateData(false);
}

void CBaseExtract::SetFormatLabels(const std::string& input, const std::string& output) {
    SetInOutFormatLabels(this, input, output);
}

void CBaseExtract::ShowRangeRead(int code, const TimeFields& start, const TimeFields& end) {
    if (code) {
        fields_.input.clear();
        fields_.output.clear();
    }
    fields_.start = start;
    fields_.end = end;
    UpdateData(false);
    if (code) ShowErrorMessage("", code);
}

}  // namespace vt::gui
