#include "ui/AboutDlg.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QThread>
#include <QWindow>
#include <cstdlib>

#include "core/ShellHelpers.h"
#include "core/Strings.h"
#include "core/VersionInfo.h"
#include "ui/UiResources.h"

namespace vt {

namespace {

// The window that shows the closing animation over the box's surroundings.
class CoverWindow : public QWidget {
  public:
    CoverWindow(const QRect& area, bool translucent)
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_OpaquePaintEvent, !translucent);
        if (translucent) setAttribute(Qt::WA_TranslucentBackground);
        setGeometry(area);
    }
    const QImage* frame = nullptr;

  protected:
    void paintEvent(QPaintEvent*) override {
        if (!frame) return;
        QPainter p(this);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(rect(), *frame);
    }
};

bool CanGrabScreen() {
    const QString platform = QGuiApplication::platformName();
    return !(platform == QLatin1String("offscreen") || platform == QLatin1String("minimal") ||
             platform.startsWith(QLatin1String("wayland")));
}

}  // namespace

std::vector<AboutAnimationFrame> AboutAnimationFrames(int w, int h) {
    std::vector<AboutAnimationFrame> frames;
    for (int a = 100; a != 0; a /= 3) {
        for (int t = -a; t <= a; t += 5) {
            const int d = a - std::abs(t);
            const int dx = w * d / 100, dy = h * d / 100;
            AboutAnimationFrame f;
            f.grow = d;
            f.shadow = QRect(w / 2 + dx, h / 2 + dy, w, h);
            const EdgeRect pic{w / 2 - dx / 2, h / 2 - dy / 2, (3 * w + dx) / 2, (3 * h + dy) / 2};
            f.picture = pic.ToQRect();
            frames.push_back(f);
        }
    }
    return frames;
}

CMyAboutDlg::CMyAboutDlg(COLORREF background, COLORREF text, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      background_(background),
      text_(text),
      link_(new CLinkButton(background, 0xFF0000, 0x808080, 0xFF00FF, this)),
      ok_(new CIconButton(LoadIconResource(IDI_OK), QPixmap(), background, text, 0x808080, 0xFF00FF, 0,
                          this)),
      version_(new QLabel(this)),
      notice_(new QLabel(this)),
      open_([](const std::string& address) { ShellOpenAsync(address); }) {
    setWindowTitle(QString::fromStdString(LoadStringPair(IDS_ABOUT_CAPTION, IDS_ABOUT_CAPTION + 1)));
    setModal(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(background));
    pal.setColor(QPalette::WindowText, ToQColor(text));
    setPalette(pal);

    resize(Dlu(0, 0, 165, 193).size());
    for (QLabel* l : {version_, notice_}) {
        l->setAlignment(Qt::AlignCenter);
        l->setTextFormat(Qt::PlainText);
    }
    version_->setObjectName("versionLine");
    version_->setGeometry(Dlu(17, 61, 130, 8));
    version_->setText(VersionLine(GetModuleFilePath()));
    notice_->setGeometry(Dlu(17, 76, 130, 8));
    notice_->setText(QString::fromStdString(LoadStringPair(IDS_ABOUT_NOTICE, IDS_ABOUT_NOTICE + 1)));
    link_->setObjectName("linkButton");
    link_->setGeometry(Dlu(17, 98, 130, 14));
    link_->setText(Address());
    link_->setCursor(Qt::PointingHandCursor);
    ok_->setObjectName("okButton");
    ok_->setGeometry(Dlu(48, 117, 68, 27));
    ok_->setText(QString::fromStdString(LoadStringPair(IDS_ABOUT_OK, IDS_ABOUT_OK + 1)));
    iconPlace_ = Dlu(72, 35, 20, 20);
    setWindowIcon(LoadIconSet(IDI_PROGRAM));

    connect(link_, &QAbstractButton::clicked, this, &CMyAboutDlg::OnLink);
    connect(ok_, &QAbstractButton::clicked, this, &CMyAboutDlg::accept);
    ok_->setFocus();
    ApplyShape();
}

QRect CMyAboutDlg::Dlu(int x, int y, int w, int h) const {
    // Dialog units: a quarter of the average character width, an eighth of
    // the character height; never smaller than 1.5 pixels.
    const QFontMetrics fm(font());
    const double ux = std::max(1.5, fm.averageCharWidth() / 4.0);
    const double uy = std::max(1.5, fm.height() / 8.0);
    return QRect(int(x * ux + 0.5), int(y * uy + 0.5), int(w * ux + 0.5), int(h * uy + 0.5));
}

QString CMyAboutDlg::Address() const {
    return QString::fromStdString(LoadStringPair(IDS_ABOUT_ADDRESS, IDS_ABOUT_ADDRESS + 1));
}

QString CMyAboutDlg::VersionLine(const std::string& programPath) {
    return QString::fromStdString(GetPathTitle(programPath) + " Version " + GetFileVersionText(programPath));
}

void CMyAboutDlg::ApplyShape() {
    // An ellipse bounded by (2, 0) and the far corner of the box.
    setMask(QRegion(2, 0, std::max(0, width() - 2), height(), QRegion::Ellipse));
}

void CMyAboutDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    ApplyShape();
}

void CMyAboutDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    ApplyShape();
    ok_->setFocus();
}

void CMyAboutDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    FillRectColor(p, rect(), background_);
    const QPixmap icon = LoadIconResource(IDI_PROGRAM, kIconSize);
    if (!icon.isNull()) p.drawPixmap(iconPlace_.topLeft(), icon);
}

namespace {
bool LeftAlone(const QMouseEvent* e) {
    return e->buttons() == Qt::LeftButton && !(e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier));
}
}  // namespace

void CMyAboutDlg::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && LeftAlone(e)) {
        mover_.Press(this, e->globalPosition().toPoint());
        e->accept();
        return;
    }
    QDialog::mousePressEvent(e);
}

void CMyAboutDlg::mouseMoveEvent(QMouseEvent* e) {
    if (LeftAlone(e) && mover_.Move(e->globalPosition().toPoint())) {
        e->accept();
        return;
    }
    QDialog::mouseMoveEvent(e);
}

void CMyAboutDlg::mouseReleaseEvent(QMouseEvent* e) {
    mover_.Release();
    QDialog::mouseReleaseEvent(e);
}

void CMyAboutDlg::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (e->modifiers() == Qt::NoModifier || e->modifiers() == Qt::KeypadModifier) {
                e->accept();
                if (ok_->isEnabled()) ok_->click();
                return;
            }
            break;
        case Qt::Key_Escape:
            e->accept();
            return;
        default:
            break;
    }
    QDialog::keyPressEvent(e);
}

void CMyAboutDlg::OnLink() {
    if (open_) open_(Address().toStdString());
}

void CMyAboutDlg::accept() {
    if (closing_) return;
    closing_ = true;
    RunClosingAnimation();
    QDialog::accept();
}

void CMyAboutDlg::RunClosingAnimation() {
    const QRect frame = frameGeometry();
    const int w = frame.width(), h = frame.height();
    if (w <= 0 || h <= 0) return;
    const int x0 = frame.left(), y0 = frame.top();
    const QRect area(x0 - w / 2, y0 - h / 2, 3 * w, 3 * h);

    CMemCDC a, b, c;
    QImage shot;
    QScreen* scr = screen();
    if (scr && CanGrabScreen()) {
        const QRect sg = scr->geometry();
        shot = scr->grabWindow(0, area.left() - sg.left(), area.top() - sg.top(), area.width(), area.height())
                   .toImage();
    }
    const bool fromScreen = !shot.isNull() && shot.size() == area.size();
    if (!a.CreateCanvas(3 * w, 3 * h, !fromScreen) || !b.CreateCanvas(3 * w, 3 * h, !fromScreen) ||
        !c.CreateCanvas(w, h, !fromScreen))
        return;
    if (fromScreen) {
        b.StretchFrom(shot, {0, 0, 3 * w, 3 * h}, {0, 0, 3 * w, 3 * h});
        c.StretchFrom(shot, {0, 0, w, h}, {w / 2, h / 2, w / 2 + w, h / 2 + h});
    } else {
        // No picture of the screen here: the box's own picture, cut to its
        // ellipse, over a clear background.
        QPainter pc(&c.Image());
        pc.setClipRegion(mask().isEmpty() ? QRegion(0, 0, w, h) : mask());
        pc.drawPixmap(0, 0, grab());
        pc.end();
        b.StretchFrom(c, {w / 2, h / 2, w / 2 + w, h / 2 + h}, {0, 0, w, h});
    }

    CoverWindow cover(area, !fromScreen);
    cover.frame = &a.Image();
    cover.show();
    for (const AboutAnimationFrame& f : AboutAnimationFrames(w, h)) {
        a.StretchFrom(b, {0, 0, 3 * w, 3 * h}, {0, 0, 3 * w, 3 * h});
        {
            QPainter pa(&a.Image());
            FillRectColor(pa, f.shadow, 0x000000);
            if (!fromScreen) {
                // The clear corners of the box's own picture let the shadow show.
                pa.drawImage(f.picture, c.Image());
            }
        }
        if (fromScreen) a.StretchFrom(c, EdgeRect::From(f.picture), {0, 0, w, h});
        cover.repaint();
        if (frameHook_) frameHook_(a.Image());
        QThread::msleep(1);
    }
    cover.hide();
}

void ShowAboutBox(QWidget* parent) {
    CMyAboutDlg box(0xFFFFFF, 0x000000, parent);
    // Its size is fixed: it goes over the owner's window before it is made.
    if (parent) box.move(CentredOn(parent, box.size()).topLeft());
    box.exec();
}

}  // namespace vt
