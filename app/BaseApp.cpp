#include "app/BaseApp.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QPainter>
#include <QPixmap>
#include <QTranslator>
#include <QWidget>

#include "app/BaseDialog.h"
#include "app/ModalBoxes.h"
#include "core/InstallPaths.h"
#include "core/Settings.h"
#include "core/ShellHelpers.h"
#include "core/Strings.h"
#include "ui/AboutDlg.h"
#include "ui/UiResources.h"

namespace vt::gui {
namespace {
CBaseApp* g_app = nullptr;
}

CBaseApp::CBaseApp() {
    g_app = this;
}

CBaseApp::~CBaseApp() {
    if (qApp) qApp->removeEventFilter(this);
    if (g_app == this) g_app = nullptr;
}

CBaseApp* CBaseApp::Instance() {
    return g_app;
}

QIcon CBaseApp::ProgramIcon() {
    const QIcon program = LoadIconSet(IDI_PROGRAM);
    if (!program.isNull()) return program;
    // Without the picture resources: a film frame with a cut mark, drawn once.
    static const QIcon icon = [] {
        QIcon ic;
        for (int size : {16, 32, 48}) {
            QPixmap pm(size, size);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            const qreal u = size / 16.0;
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x80, 0x00, 0x80));
            p.drawRoundedRect(QRectF(1 * u, 2 * u, 14 * u, 12 * u), 2 * u, 2 * u);
            p.setBrush(Qt::white);
            for (int i = 0; i < 4; ++i) {
                p.drawRect(QRectF((2.5 + i * 3) * u, 3 * u, 1.5 * u, 1.5 * u));
                p.drawRect(QRectF((2.5 + i * 3) * u, 11.5 * u, 1.5 * u, 1.5 * u));
            }
            p.setBrush(QColor(0xFF, 0x80, 0x80));
            p.drawRect(QRectF(3 * u, 5.5 * u, 10 * u, 5 * u));
            p.setPen(QPen(Qt::white, 1.2 * u));
            p.drawLine(QPointF(8 * u, 5 * u), QPointF(8 * u, 11 * u));
            p.end();
            ic.addPixmap(pm);
        }
        return ic;
    }();
    return icon;
}

std::unique_ptr<QTranslator> InstallFrameworkTranslations() {
    if (!IsJapanese() || !QCoreApplication::instance()) return nullptr;
    auto t = std::make_unique<QTranslator>();
    // "qt_ja" brings the base module's texts along with it.
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!t->load(QStringLiteral("qt_ja"), dir) && !t->load(QStringLiteral("qtbase_ja"), dir)) return nullptr;
    if (!QCoreApplication::installTranslator(t.get())) return nullptr;
    return t;
}

int CBaseApp::InitBaseApp(unsigned acceleratorId) {
    frameworkTexts_ = InstallFrameworkTranslations();
    if (acceleratorId == kAcceleratorTable && qApp) {
        qApp->installEventFilter(this);
        acceleratorLoaded_ = true;
    }
    // Framework settings live under the key that the settings file names.
    QCoreApplication::setOrganizationName(QString::fromStdString(GetRegistryKeyName()));
    return 0;
}

void CBaseApp::ShowHelp(const std::string& fileName) {
    ShellOpenAsync(FindHelpFile(GetAppFolder(), fileName));
}

void CBaseApp::ShowAboutBox() {
    vt::ShowAboutBox(mainWindow_);
}

void CBaseApp::OnCommand(unsigned id) {
    if (id == CBaseDialog::kCmdHelp)
        ShowHelp(kHelpFile);
    else if (id == CBaseDialog::kCmdAbout)
        ShowAboutBox();
}

bool CBaseApp::eventFilter(QObject* watched, QEvent* e) {
    if (acceleratorLoaded_ && e->type() == QEvent::KeyPress && mainWindow_) {
        auto* ke = static_cast<QKeyEvent*>(e);
        // Only for the main window and its pages, not inside another modal box.
        QWidget* target = watched->isWidgetType() ? static_cast<QWidget*>(watched)->window() : nullptr;
        if (ke->key() == Qt::Key_F10 && ke->modifiers() == Qt::NoModifier && target == mainWindow_ &&
            !ke->isAutoRepeat()) {
            OnCommand(CBaseDialog::kCmdAbout);
            return true;
        }
    }
    return QObject::eventFilter(watched, e);
}

}  // namespace vt::gui
