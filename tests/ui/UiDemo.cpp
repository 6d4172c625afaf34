// A window with the title row, the drag list and the about box, to look at
// the controls. With --shots DIR it saves pictures and quits:
//   titlerow_<colour>.png  the title row in each page colour
//   window.png             the whole window
//   about.png              the about box
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include "ui/AboutDlg.h"
#include "ui/Buttons.h"
#include "ui/DragListBox.h"
#include "ui/UiResources.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QString shots;
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf("--shots");
    if (at >= 0 && at + 1 < args.size()) shots = args[at + 1];

    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.setWindowIcon(vt::LoadIconSet(vt::IDI_PROGRAM));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* row = new vt::CTitleRow(&window, 26);
    row->TitleBar()->SetTitleText("Vantorel");
    layout->addWidget(row);

    const std::pair<const char*, vt::COLORREF> colours[] = {
        {"AVI", 0x8080FF}, {"WAV", 0x80FFFF}, {"WMV", 0xBFFF80}, {"WMA", 0xBFFF80}, {"FLV", 0xFF8080}};
    auto* format = new QComboBox(&window);
    for (auto [name, colour] : colours) format->addItem(name, QVariant::fromValue(uint(colour)));
    layout->addWidget(format);
    QObject::connect(format, &QComboBox::currentIndexChanged, row,
                     [row, format](int) { row->SetPageColor(format->currentData().toUInt()); });
    row->SetPageColor(colours[0].second);

    auto* list = new vt::CDragListBoxEx(&window);
    for (const char* p :
         {"/home/user/Videos/2026-07-14 harbour festival, evening fireworks from the pier (part 1).avi",
          "/home/user/Videos/part2.avi", "/home/user/Videos/part3.avi", "/home/user/Videos/part4.avi"})
        list->AddItem(p);
    list->setCurrentRow(1);
    layout->addWidget(list);

    QObject::connect(row->AboutButton(), &QAbstractButton::clicked, &window,
                     [&window] { vt::ShowAboutBox(&window); });
    QObject::connect(row->MinButton(), &QAbstractButton::clicked, &window, &QWidget::showMinimized);
    QObject::connect(row->CloseButton(), &QAbstractButton::clicked, &window, &QWidget::close);
    window.resize(520, 260);
    window.show();

    if (shots.isEmpty()) return app.exec();

    QDir().mkpath(shots);
    QTimer::singleShot(300, [&] {
        // Each colour on its own, and all four stacked at twice the size.
        QImage stack(row->width() * 2, row->height() * 2 * 4, QImage::Format_RGB32);
        QPainter p(&stack);
        int y = 0;
        for (auto [name, colour] : colours) {
            if (QString(name) == "WMA") continue;  // the same colour as WMV
            row->SetPageColor(colour);
            const QPixmap pm = row->grab();
            pm.save(QStringLiteral("%1/titlerow_%2_%3.png").arg(shots, name).arg(colour, 6, 16, QChar('0')));
            p.drawPixmap(QRect(0, y, pm.width() * 2, pm.height() * 2), pm);
            y += pm.height() * 2;
        }
        p.end();
        stack.save(shots + "/titlerows_x2.png");
        row->SetPageColor(colours[0].second);
        window.grab().save(shots + "/window.png");
        vt::CMyAboutDlg box(0xFFFFFF, 0x000000, &window);
        box.show();
        app.processEvents();
        box.grab().save(shots + "/about.png");
        // The closing animation, with its biggest frame kept.
        int frame = 0;
        box.SetFrameHook([&](const QImage& img) {
            if (frame++ == 20) img.save(shots + "/about_closing.png");
        });
        box.accept();
        app.quit();
    });
    return app.exec();
}
