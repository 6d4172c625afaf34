#include "ui/WindowPlacement.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace vt {
namespace {

CWindowMover::SystemMove& SystemMoveFn() {
    static CWindowMover::SystemMove fn;
    return fn;
}

bool StartSystemMove(QWindow* w) {
    if (SystemMoveFn()) return SystemMoveFn()(w);
    return w && w->startSystemMove();
}

// Centres the watched box after its own show handling has sized it.
class CentreFilter : public QObject {
  public:
    CentreFilter(QWidget* box, QWidget* owner) : QObject(box), box_(box), owner_(owner) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched != box_ || e->type() != QEvent::Show || busy_ || !owner_) return false;
        busy_ = true;
        QCoreApplication::sendEvent(box_, e);  // the box's own show handling first
        busy_ = false;
        box_->move(CentredOn(owner_, box_->frameGeometry().size()).topLeft());
        return true;
    }

  private:
    QWidget* box_;
    QPointer<QWidget> owner_;
    bool busy_ = false;
};

}  // namespace

CWindowMover::SystemMove CWindowMover::SetSystemMove(SystemMove move) {
    SystemMove old = std::move(SystemMoveFn());
    SystemMoveFn() = std::move(move);
    return old;
}

void CWindowMover::Press(QWidget* window, const QPoint& global) {
    window_ = window;
    last_ = global;
    systemMove_ = window && StartSystemMove(window->windowHandle());
}

bool CWindowMover::Move(const QPoint& global) {
    if (!window_) return false;
    if (!systemMove_) {
        const QPoint delta = global - last_;
        if (!delta.isNull()) window_->move(window_->pos() + delta);
    }
    last_ = global;
    return true;
}

void CWindowMover::Release() {
    window_ = nullptr;
    systemMove_ = false;
}

QRect CentredOn(const QWidget* owner, const QSize& size) {
    const QWidget* top = owner ? owner->window() : nullptr;
    if (!top) return QRect(QPoint(0, 0), size);
    const QRect frame = top->frameGeometry();
    QRect r(QPoint(0, 0), size);
    r.moveCenter(frame.center());
    QScreen* screen = top->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect avail = screen->availableGeometry();
        r.moveLeft(std::max(avail.left(), std::min(r.left(), avail.right() + 1 - r.width())));
        r.moveTop(std::max(avail.top(), std::min(r.top(), avail.bottom() + 1 - r.height())));
    }
    return r;
}

void CentreOnShow(QWidget* box, QWidget* owner) {
    if (!box || !owner) return;
    box->installEventFilter(new CentreFilter(box, owner));
}

}  // namespace vt
