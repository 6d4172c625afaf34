#pragma once
// The about box: a white ellipse without caption or frame with the program
// icon, the version line, the maker's notice, a link to the maker's page and
// an OK button that closes the box after a short pulsing animation.
#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <functional>
#include <string>
#include <vector>

#include "ui/Buttons.h"
#include "ui/WindowPlacement.h"

class QLabel;

namespace vt {

// One frame of the closing animation in the coordinates of a canvas three
// times the box's size: `grow` is the swelling in percent, the shadow and the
// enlarged picture are where they are drawn.
struct AboutAnimationFrame {
    int grow = 0;
    QRect shadow;
    QRect picture;
};

// The frames for a box of w x h: amplitudes 100, 33, 11, 3, 1, each swelling
// from 0 to the amplitude and back in steps of 5 percent.
std::vector<AboutAnimationFrame> AboutAnimationFrames(int w, int h);

class CMyAboutDlg : public QDialog {
    Q_OBJECT
  public:
    CMyAboutDlg(COLORREF background, COLORREF text, QWidget* parent = nullptr);

    // "<program title> Version <x.yz>" for the program file at `programPath`.
    static QString VersionLine(const std::string& programPath);

    CLinkButton* LinkButton() const { return link_; }
    CIconButton* OkButton() const { return ok_; }
    QLabel* VersionLabel() const { return version_; }
    QString Address() const;
    // Opens the maker's page; ShellOpenAsync unless replaced (tests).
    void SetLinkOpener(std::function<void(const std::string&)> open) { open_ = std::move(open); }
    // Called with every finished frame of the closing animation (tests).
    void SetFrameHook(std::function<void(const QImage&)> hook) { frameHook_ = std::move(hook); }

    // OK: the closing animation, then the box closes accepted.
    void accept() override;
    // Escape and the close request do nothing: only OK closes the box.
    void reject() override {}

  protected:
    void showEvent(QShowEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    // Enter presses OK, the default button; Escape does nothing.
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    void OnLink();
    void RunClosingAnimation();
    QRect Dlu(int x, int y, int w, int h) const;
    void ApplyShape();

    COLORREF background_;
    COLORREF text_;
    CLinkButton* link_;
    CWindowMover mover_;
    CIconButton* ok_;
    QLabel* version_;
    QLabel* notice_;
    QRect iconPlace_;
    std::function<void(const std::string&)> open_;
    std::function<void(const QImage&)> frameHook_;
    bool closing_ = false;
};

// Shows the about box modally; returns when it has closed.
void ShowAboutBox(QWidget* parent = nullptr);

}  // namespace vt
