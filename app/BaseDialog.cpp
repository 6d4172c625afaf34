#include "app/BaseDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QToolTip>
#include <QUrl>
#include <QWindow>

#include "app/BaseApp.h"
#include "app/ModalBoxes.h"
#include "ops/KindRules.h"

namespace vt::gui {

// ---- data exchange ----

void CDataExchange::Fail(const std::string& message) {
    if (failed_) return;
    failed_ = true;
    ModalBox box;
    box.owner = dlg_;
    box.text = message;
    box.caption = QApplication::applicationName().toStdString();
    box.icon = BoxIcon::Error;
    ShowModalBox(box);
    if (QWidget* w = dlg_->GetDlgItem(lastId_)) {
        w->setFocus(Qt::OtherFocusReason);
        if (auto* e = qobject_cast<QLineEdit*>(w)) e->selectAll();
    }
}

void DDX_Text(CDataExchange& dx, int id, std::string& value) {
    if (dx.Failed()) return;
    dx.PrepareCtrl(id);
    if (dx.IsSaving()) {
        if (dx.Dialog()->GetDlgItem(id)) value = dx.Dialog()->GetCtrlText(id);
    } else {
        dx.Dialog()->SetCtrlText(id, value);
    }
}

void DDX_Text(CDataExchange& dx, int id, int& value) {
    if (dx.Failed()) return;
    dx.PrepareCtrl(id);
    if (dx.IsSaving()) {
        if (!dx.Dialog()->GetDlgItem(id)) return;
        int v = 0;
        if (!ParseIntField(dx.Dialog()->GetCtrlText(id), &v)) {
            dx.Fail(IntegerMessage());
            return;
        }
        value = v;
    } else {
        dx.Dialog()->SetCtrlText(id, std::to_string(value));
    }
}

void DDV_MinMaxInt(CDataExchange& dx, int value, int minValue, int maxValue) {
    if (dx.Failed() || !dx.IsSaving()) return;
    if (value < minValue || value > maxValue) dx.Fail(RangeMessage(minValue, maxValue));
}

void DDX_CBIndex(CDataExchange& dx, int id, int& index) {
    if (dx.Failed()) return;
    dx.PrepareCtrl(id);
    auto* combo = qobject_cast<QComboBox*>(dx.Dialog()->GetDlgItem(id));
    if (!combo) return;
    if (dx.IsSaving())
        index = combo->currentIndex();
    else
        combo->setCurrentIndex(index);
}

// ---- geometry, texts, colours ----

QSize DialogBaseUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int cx =
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize((cx / 26 + 1) / 2, fm.height());
}

QRect DluToPixels(const QRect& dlu, QSize base) {
    auto mx = [&](int v) { return qRound(v * base.width() / 4.0); };
    auto my = [&](int v) { return qRound(v * base.height() / 8.0); };
    const int left = mx(dlu.x()), top = my(dlu.y());
    const int right = mx(dlu.x() + dlu.width()), bottom = my(dlu.y() + dlu.height());
    return QRect(left, top, right - left, bottom - top);
}

QString WindowText(const QWidget* w) {
    if (!w) return {};
    if (auto* g = qobject_cast<const QGroupBox*>(w)) return g->title();
    if (auto* c = qobject_cast<const QComboBox*>(w)) return c->currentText();
    // A progress bar has no window text (its "text" is the percentage it may draw).
    if (qobject_cast<const QProgressBar*>(w)) return {};
    const QVariant v = w->property("text");
    return v.isValid() ? v.toString() : QString();
}

QString StripMnemonics(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
                out += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

QFont DialogFont(int points) {
    QFont f(QStringLiteral("Noto Sans CJK JP"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(points);
    return f;
}

QColor FromColorRef(unsigned c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

unsigned ToColorRef(const QColor& c) {
    return unsigned(c.red()) | (unsigned(c.green()) << 8) | (unsigned(c.blue()) << 16);
}

unsigned SysButtonTextColor() {
    return ToColorRef(QApplication::palette().color(QPalette::ButtonText));
}

// ---- CBaseDialog ----

CBaseDialog::CBaseDialog(int templateId, QWidget* parentObject, bool sysMenu, bool child)
    : QDialog(nullptr),
      parentObject_(parentObject),
      sysMenu_(sysMenu),
      templateId_(templateId),
      child_(child) {}

CBaseDialog::~CBaseDialog() = default;

void CBaseDialog::SetInputFile(std::string) {}

void CBaseDialog::Redraw() {
    update();
}

bool CBaseDialog::CreateDlg(QWidget* parent) {
    if (created_) return true;
    if (child_) {
        setParent(parent, Qt::Widget);
    } else if (parent) {
        setParent(parent, windowFlags());
    }
    BuildFromTemplate();
    created_ = true;
    return OnInitDialog();
}

int CBaseDialog::DoModal() {
    if (!created_ && !CreateDlg(nullptr)) return -1;
    return exec();
}

void CBaseDialog::BuildFromTemplate() {
    const DialogTemplate* tpl = FindDialogTemplate(templateId_);
    if (!tpl) return;
    const QFont font = DialogFont(tpl->fontPoints);
    setFont(font);
    baseUnits_ = DialogBaseUnits(font);
    resize(DluToPixels(QRect(0, 0, tpl->width, tpl->height), baseUnits_).size());
    for (const CtrlTemplate& c : tpl->controls) {
        QWidget* w = CreateControl(c, this);
        if (!w) {
            const QString text = QString::fromUtf8(c.text.data(), qsizetype(c.text.size()));
            switch (c.kind) {
                case CtrlKind::GroupBox:
                    w = new QGroupBox(text, this);
                    break;
                case CtrlKind::Static:
                case CtrlKind::StaticRight: {
                    auto* l = new QLabel(text, this);
                    l->setAlignment((c.kind == CtrlKind::StaticRight ? Qt::AlignRight : Qt::AlignLeft) |
                                    Qt::AlignTop);
                    l->setTextFormat(Qt::PlainText);
                    w = l;
                    break;
                }
                case CtrlKind::Edit:
                case CtrlKind::ReadOnlyEdit: {
                    auto* e = new QLineEdit(text, this);
                    e->setReadOnly(c.kind == CtrlKind::ReadOnlyEdit);
                    w = e;
                    break;
                }
                case CtrlKind::PushButton:
                case CtrlKind::OwnerDrawButton: {
                    auto* b = new QPushButton(text, this);
                    b->setAutoDefault(false);
                    b->setDefault(false);
                    w = b;
                    break;
                }
                case CtrlKind::ComboDropList:
                    w = new QComboBox(this);
                    break;
                case CtrlKind::ListBox:
                    w = new QListWidget(this);
                    break;
                case CtrlKind::ProgressBar: {
                    auto* p = new QProgressBar(this);
                    p->setRange(0, 100);
                    p->setValue(0);
                    p->setTextVisible(false);
                    w = p;
                    break;
                }
            }
        }
        QRect r = DluToPixels(QRect(c.x, c.y, c.w, c.h), baseUnits_);
        // A drop-down list's template height includes its open list.
        if (c.kind == CtrlKind::ComboDropList) r.setHeight(w->sizeHint().height());
        w->setGeometry(r);
        w->setEnabled(!c.disabled);
        if (c.hidden) w->hide();
        if (c.id != kNoCtrlId) RegisterCtrl(c.id, w);
    }
}

void CBaseDialog::RegisterCtrl(int id, QWidget* w) {
    controls_[id] = w;
    w->setProperty("ctrlId", id);
    w->installEventFilter(this);
}

bool CBaseDialog::OnInitDialog() {
    setWindowIcon(CBaseApp::ProgramIcon());
    setAcceptDrops(true);
    ApplyTheme();
    QMetaObject::invokeMethod(
        this, [this] { OnAfterInit(0, 0); }, Qt::QueuedConnection);
    UpdateData(false);
    return true;
}

QWidget* CBaseDialog::GetDlgItem(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

std::string CBaseDialog::GetCtrlText(int id) const {
    return WindowText(GetDlgItem(id)).toStdString();
}

void CBaseDialog::SetCtrlText(int id, const std::string& text) {
    QWidget* w = GetDlgItem(id);
    if (!w) return;
    const QString t = QString::fromStdString(text);
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(t);
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (e->text() != t) {
            e->setText(t);
            e->setCursorPosition(0);
        }
    } else {
        w->setProperty("text", t);
    }
}

void CBaseDialog::EnableCtrl(int id, bool enable) {
    if (QWidget* w = GetDlgItem(id)) w->setEnabled(enable);
}

bool CBaseDialog::UpdateData(bool saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

void CBaseDialog::OnSysCommand(unsigned id) {
    if ((id & 0xFFFF) == kCmdHelp || (id & 0xFFFF) == kCmdAbout) {
        const unsigned cmd = id & 0xFFFF;
        if (CBaseApp* app = CBaseApp::Instance())
            QMetaObject::invokeMethod(
                app, [app, cmd] { app->OnCommand(cmd); }, Qt::QueuedConnection);
        return;
    }
    if (id == 0xF060) OnSysCommandClose();
}

void CBaseDialog::OnSysCommandClose() {
    if (IsIdle() != 0) OnCloseMessage();
}

void CBaseDialog::OnCloseMessage() {
    UpdateData(true);
    OnSizeChanged(1, 1, 1);
    done(2);
}

void CBaseDialog::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            e->accept();
            return;
        default:
            QDialog::keyPressEvent(e);
    }
}

void CBaseDialog::closeEvent(QCloseEvent* e) {
    // The window decides itself; the toolkit's close must not go further.
    e->ignore();
    OnSysCommand(0xF060);
}

namespace {
bool HasLocalFiles(const QMimeData* m) {
    if (!m || !m->hasUrls()) return false;
    for (const QUrl& u : m->urls())
        if (u.isLocalFile()) return true;
    return false;
}
}  // namespace

void CBaseDialog::dragEnterEvent(QDragEnterEvent* e) {
    if (HasLocalFiles(e->mimeData()))
        e->acceptProposedAction();
    else
        e->ignore();
}

void CBaseDialog::dragMoveEvent(QDragMoveEvent* e) {
    if (HasLocalFiles(e->mimeData()))
        e->acceptProposedAction();
    else
        e->ignore();
}

void CBaseDialog::dropEvent(QDropEvent* e) {
    if (!HasLocalFiles(e->mimeData())) {
        e->ignore();
        return;
    }
    window()->raise();
    window()->activateWindow();
    e->acceptProposedAction();
    const QList<QUrl> urls = e->mimeData()->urls();
    for (const QUrl& u : urls)
        if (u.isLocalFile()) SetInputFile(u.toLocalFile().toStdString());
}

bool CBaseDialog::IsDragGesture(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    return buttons == Qt::LeftButton && (modifiers & (Qt::ShiftModifier | Qt::ControlModifier)) == 0;
}

void CBaseDialog::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(e);
        return;
    }
    // A press on a free spot starts moving the whole window, once: the window
    // system then follows the pointer until the button is released.
    if (IsDragGesture(e->buttons(), e->modifiers())) mover_.Press(window(), e->globalPosition().toPoint());
    e->accept();
}

void CBaseDialog::mouseMoveEvent(QMouseEvent* e) {
    if (IsDragGesture(e->buttons(), e->modifiers()) && mover_.Move(e->globalPosition().toPoint())) {
        e->accept();
        return;
    }
    QDialog::mouseMoveEvent(e);
}

void CBaseDialog::mouseReleaseEvent(QMouseEvent* e) {
    mover_.Release();
    QDialog::mouseReleaseEvent(e);
}

bool CBaseDialog::ShowToolTipFor(QWidget* w, const QPoint& globalPos) {
    const QString text = StripMnemonics(WindowText(w));
    if (text.isEmpty()) {
        QToolTip::hideText();
        return false;
    }
    QToolTip::showText(globalPos, text, w);
    return true;
}

bool CBaseDialog::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::ToolTip && watched->isWidgetType()) {
        auto* he = static_cast<QHelpEvent*>(e);
        ShowToolTipFor(static_cast<QWidget*>(watched), he->globalPos());
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

// ---- CBaseColorDialog ----

CBaseColorDialog::CBaseColorDialog(int templateId, QWidget* parentObject, unsigned bkColor,
                                   unsigned textColor, bool sysMenu, bool child)
    : CBaseDialog(templateId, parentObject, sysMenu, child), bkColor_(bkColor), textColor_(textColor) {}

bool CBaseColorDialog::OnInitDialog() {
    const bool ok = CBaseDialog::OnInitDialog();
    const QColor bk = FromColorRef(bkColor_);
    const QColor text = FromColorRef(textColor_);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, bk);
    pal.setColor(QPalette::WindowText, text);
    setPalette(pal);
    setAutoFillBackground(true);
    // Read-only edits draw like static texts: on the dialog's colour.
    for (QLineEdit* e : findChildren<QLineEdit*>()) {
        if (!e->isReadOnly()) continue;
        QPalette ep = e->palette();
        ep.setColor(QPalette::Base, bk);
        ep.setColor(QPalette::Text, text);
        e->setPalette(ep);
    }
    return ok;
}

}  // namespace vt::gui
