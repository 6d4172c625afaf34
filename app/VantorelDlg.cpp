#include "app/VantorelDlg.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "app/BaseApp.h"
#include "core/Settings.h"
#include "core/Strings.h"
#include "ops/PageTable.h"
#include "pages/avi/AVICreatorDlg.h"
#include "pages/avi/AVICutterDlg.h"
#include "pages/avi/AVIExtract.h"
#include "pages/avi/AVILinkerDlg.h"
#include "pages/avi/WAVExtract.h"
#include "pages/avi/WAVLinkerDlg.h"
#include "pages/flv/FLVCutterDlg.h"
#include "pages/flv/FLVExtract.h"
#include "pages/flv/FLvLinkerDlg.h"
#include "pages/wm/WMVCreatorDlg.h"
#include "pages/wm/WMVCutterDlg.h"
#include "pages/wm/WMVExtract.h"
#include "pages/wm/WMVLinkerDlg.h"
#include "ui/Buttons.h"
#include "ui/UiResources.h"

namespace vt::gui {
namespace {
constexpr unsigned kSysClose = 0xF060;
}  // namespace

QWidget* CreateTitleRowControl(const CtrlTemplate& ctrl, QWidget* parent) {
    unsigned bitmap = 0;
    switch (ctrl.id) {
        case kIdTitleBar:
            bitmap = IDB_TITLE;
            break;
        case kIdAboutButton:
            bitmap = IDB_ABOUT;
            break;
        case kIdHelpButton:
            bitmap = IDB_HELP;
            break;
        case kIdMinButton:
            bitmap = IDB_MIN;
            break;
        case kIdCloseButton:
            bitmap = IDB_CLOSE;
            break;
        default:
            return nullptr;
    }
    CBmpColorBtn* button = ctrl.id == kIdTitleBar ? new CTitleBar(parent) : new CBmpColorBtn(parent);
    button->setText(QString::fromUtf8(ctrl.text.data(), qsizetype(ctrl.text.size())));
    button->LoadBitmap(bitmap);
    button->SetTransparentColor(kBitmapKeyColor);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void SetTitleRowFaceColor(QWidget* control, unsigned color) {
    if (auto* b = qobject_cast<CBmpColorBtn*>(control)) {
        b->SetFaceColor(color);
        b->repaint();
    }
}

unsigned TitleRowFaceColor(const QWidget* control) {
    auto* b = qobject_cast<const CBmpColorBtn*>(control);
    return b ? b->FaceColor() : 0;
}

void SetTitleRowText(QWidget* titleBar, const std::string& text) {
    if (auto* t = qobject_cast<CTitleBar*>(titleBar)) t->SetTitleText(QString::fromStdString(text));
}

CVantorelDlg::CVantorelDlg() : CBaseDialog(kTemplateMain, nullptr, false, false) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("Vantorel"));
}

CVantorelDlg::~CVantorelDlg() {
    // The pages go before the window's own controls.
    pages_.RemoveAll();
}

QWidget* CVantorelDlg::CreateControl(const CtrlTemplate& ctrl, QWidget* parent) {
    return CreateTitleRowControl(ctrl, parent);
}

void CVantorelDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Control(dx, kIdFormatSelector, formatCombo_);
    DDX_Control(dx, kIdOperationSelector, operationCombo_);
    DDX_CBIndex(dx, kIdFormatSelector, formatIndex_);
}

bool CVantorelDlg::OnInitDialog() {
    CBaseDialog::OnInitDialog();

    // The pages fill the window below the selectors; the operation selector
    // reaches the right edge.
    QRect area(0, operationCombo_->geometry().bottom() + 1, width(), 0);
    area.setBottom(height() - 1);
    if (QWidget* pageArea = GetDlgItem(kIdPageArea)) pageArea->setGeometry(area);
    QRect sel = operationCombo_->geometry();
    sel.setRight(width() - 1);
    operationCombo_->setGeometry(sel);

    SetTitleRowText(GetDlgItem(kIdTitleBar), "Vantorel");
    ApplyColors();

    for (const FormatItem& item : FormatItems())
        formatCombo_->addItem(QString::fromUtf8(item.text.data(), qsizetype(item.text.size())), item.data);
    formatCombo_->setCurrentIndex(0);
    FillOperationSelector();

    setWindowIcon(CBaseApp::ProgramIcon());
    CreatePages(area);
    currentPage_ = 0;

    connect(formatCombo_, qOverload<int>(&QComboBox::activated), this, [this] { OnSelchangeFormat(); });
    connect(operationCombo_, qOverload<int>(&QComboBox::activated), this, [this] { OnSelchangeOperation(); });
    auto click = [this](int id, void (CVantorelDlg::*slot)()) {
        if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(id)))
            connect(b, &QAbstractButton::clicked, this, slot);
    };
    click(kIdCloseButton, &CVantorelDlg::OnClose);
    click(kIdMinButton, &CVantorelDlg::OnMin);
    click(kIdHelpButton, &CVantorelDlg::OnHelp);
    click(kIdAboutButton, &CVantorelDlg::OnAbout);
    setFixedSize(size());
    RestorePlace();
    return true;
}

void CVantorelDlg::RestorePlace() {
    const std::optional<WindowPlace> place = ReadWindowPlace();
    if (!place) return;  // the window manager places a first start
    // Only a place where the title row can still be reached on some screen.
    const QRect title(QPoint(place->left, place->top), QSize(std::min(width(), 64), 16));
    for (const QScreen* s : QGuiApplication::screens()) {
        if (s->availableGeometry().contains(title)) {
            move(place->left, place->top);
            return;
        }
    }
}

void CVantorelDlg::done(int result) {
    const QRect frame = frameGeometry();
    WriteWindowPlace({frame.left(), frame.top()});
    CBaseDialog::done(result);
}

void CVantorelDlg::CreatePages(const QRect& area) {
    for (const PageInfo& info : Pages()) {
        std::unique_ptr<CBaseDialog> page;
        switch (info.pageNumber) {
            case 0:
                page = std::make_unique<CAVICutterDlg>(this);
                break;
            case 1:
                page = std::make_unique<CAVICreatorDlg>(this);
                break;
            case 2:
                page = std::make_unique<CAVILinkerDlg>(this);
                break;
            case 3:
                page = std::make_unique<CAVIExtract>(this);
                break;
            case 4:
                page = std::make_unique<CWAVLinkerDlg>(this);
                break;
            case 5:
                page = std::make_unique<CWAVExtract>(this);
                break;
            case 6:
                page = std::make_unique<CWMVCutterDlg>(this);
                break;
            case 7:
                page = std::make_unique<CWMVCreatorDlg>(this);
                break;
            case 8:
                page = std::make_unique<CWMVLinkerDlg>(this);
                break;
            case 9:
                page = std::make_unique<CWMVExtract>(this);
                break;
            case 10:
                page = std::make_unique<CFLVCutterDlg>(this);
                break;
            case 11:
                page = std::make_unique<CFLvLinkerDlg>(this);
                break;
            case 12:
                page = std::make_unique<CFLVExtract>(this);
                break;
            default:
                continue;
        }
        connect(page.get(), &CBaseDialog::runningChanged, this, [this] { UpdateSelectorsEnabled(); });
        pages_.Add(std::move(page));
    }
    if (QWidget* pageArea = GetDlgItem(kIdPageArea)) pageArea->hide();
    pages_.CreateAll(area, this);
}

void CVantorelDlg::FillOperationSelector() {
    operationCombo_->clear();
    const int format = formatCombo_->currentIndex() >= 0 ? formatCombo_->currentData().toInt() : -1;
    for (const OperationItem& item : OperationItems(format))
        operationCombo_->addItem(QString::fromStdString(LoadStringPair(item.stringId, item.stringId + 1)),
                                 item.pageNumber);
    operationCombo_->setCurrentIndex(0);
}

unsigned CVantorelDlg::GetPageColor() const {
    return ::vt::GetPageColor(currentPage_);
}

void CVantorelDlg::ApplyColors() {
    const unsigned color = GetPageColor();
    for (int id : {kIdAboutButton, kIdHelpButton, kIdCloseButton, kIdMinButton, kIdTitleBar})
        SetTitleRowFaceColor(GetDlgItem(id), color);
}

void CVantorelDlg::OnSelchangeFormat() {
    if (formatCombo_->currentIndex() == formatIndex_) return;
    UpdateData(true);
    FillOperationSelector();
    OnSelchangeOperation();
}

void CVantorelDlg::OnSelchangeOperation() {
    const int index = operationCombo_->currentIndex();
    if (index < 0) return;
    const int page = operationCombo_->itemData(index).toInt();
    pages_.ShowIndex(page);
    currentPage_ = page;
    ApplyColors();
}

void CVantorelDlg::UpdateSelectorsEnabled() {
    // While a page runs, its page stays in front.
    bool running = false;
    for (int i = 0; i < pages_.GetSize(); ++i) running = running || pages_.GetAt(i)->IsRunning();
    formatCombo_->setEnabled(!running);
    operationCombo_->setEnabled(!running);
}

void CVantorelDlg::SetInputFile(std::string path) {
    if (CBaseDialog* page = pages_.GetAt(currentPage_)) page->SetInputFile(std::move(path));
}

void CVantorelDlg::OnSysCommand(unsigned id) {
    if (id == kSysClose) {
        for (int i = 0; i < pages_.GetSize(); ++i) {
            const CBaseDialog* page = pages_.GetAt(i);
            if (page->IsIdle() == 0 || page->IsRunning()) return;
        }
    }
    CBaseDialog::OnSysCommand(id);
}

void CVantorelDlg::OnClose() {
    OnSysCommand(kSysClose);
}

void CVantorelDlg::OnMin() {
    showMinimized();
}

void CVantorelDlg::OnHelp() {
    if (CBaseApp* app = CBaseApp::Instance()) app->ShowHelp(CBaseApp::kHelpFile);
}

void CVantorelDlg::OnAbout() {
    if (CBaseApp* app = CBaseApp::Instance()) app->ShowAboutBox();
}

}  // namespace vt::gui
