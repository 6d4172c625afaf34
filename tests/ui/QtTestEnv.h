#pragma once
// One QApplication for a test binary, and small helpers for pixel checks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QWidget>

#include "ui/MemDC.h"

namespace vt::test {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

  private:
    QApplication* app_ = nullptr;
};

// The widget as drawn, one pixel per logical pixel.
inline QImage Render(QWidget& w) {
    QImage img(w.size(), QImage::Format_RGB32);
    img.fill(Qt::magenta);
    w.render(&img);
    return img;
}

inline COLORREF At(const QImage& img, int x, int y) {
    return FromPixel(img.pixel(x, y));
}

inline int CountColor(const QImage& img, COLORREF c, const QRect& area = QRect()) {
    const QRect r = area.isNull() ? img.rect() : area.intersected(img.rect());
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (At(img, x, y) == c) ++n;
    return n;
}

}  // namespace vt::test
