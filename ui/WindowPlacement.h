#pragma once
// Where the program's windows go on the desktop: moving a top-level window by
// a drag that starts on one of its free spots, and putting boxes and tips
// over the main window.
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <functional>

class QWidget;
class QWindow;

namespace vt {

// One drag of a top-level window. The press hands the move to the window
// system once (it then follows the pointer until the button is released);
// where the platform has no such move, the window follows the pointer's moves
// by their delta.
class CWindowMover {
  public:
    // A press of the left button alone on a free spot of `window`'s widgets.
    void Press(QWidget* window, const QPoint& global);
    // A move with the left button alone held; true when it belongs to a drag.
    bool Move(const QPoint& global);
    void Release();
    bool Active() const { return !window_.isNull(); }

    // The platform's move request; tests replace it. Returns whether the
    // window system took the move.
    using SystemMove = std::function<bool(QWindow*)>;
    static SystemMove SetSystemMove(SystemMove move);

  private:
    QPointer<QWidget> window_;
    bool systemMove_ = false;
    QPoint last_;
};

// The rectangle that a box of `size` takes when centred over `owner`'s top
// level window (its frame), kept on that window's screen.
QRect CentredOn(const QWidget* owner, const QSize& size);
// Centres `box` over `owner`'s window each time it is shown, once its size is
// known and before it appears. Nothing happens for a null owner.
void CentreOnShow(QWidget* box, QWidget* owner);

}  // namespace vt
