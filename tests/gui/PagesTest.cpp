// The operation pages: captions, what drops and file dialogs do to the
// fields, the running state, progress texts, error boxes and the refusals.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QScrollBar>
#include <QTest>
#include <QUrl>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "media/avi/DecMovie.h"
#include "ops/NumberEditBox.h"
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
#include "tests/avi/AviFixtures.h"
#include "tests/common/TestSupport.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/PageDriver.h"
#include "ui/DragListBox.h"

namespace vt::gui {
namespace {

using test::BoxRecorder;
using test::Click;
using test::FakeClock;
using test::FileDialogScript;
using test::Make;
using test::ScopedLanguage;
namespace fs = std::filesystem;

bool Enabled(CBaseDialog* page, int id) {
    return page->GetDlgItem(id)->isEnabled();
}

void Touch(const fs::path& p) {
    std::ofstream(p) << "x";
}

// ---- captions ----

struct CaptionCase {
    bool japanese;
    std::function<std::unique_ptr<CBaseDialog>()> make;
    std::vector<std::pair<int, std::string>> expected;
};

TEST(PageCaptions, KindsRelabelInTheSystemLanguage) {
    const std::vector<CaptionCase> cases = {
        {false,
         [] { return Make<CAVICutterDlg>(); },
         {{1041, "Input Src(Drag && Drop OK)"},
          {1051, "Input Src[AVI]"},
          {1057, "Output Dst[AVI or WAV]"},
          {1061, "Video Cut(&V)"},
          {1062, "Audio Cut(&A)"},
          {1064, "Stop(&S)"},
          {1067, "Progress"},
          {1065, "Please put the Input and Output, and push the Cut button."}}},
        {true,
         [] { return Make<CAVICutterDlg>(); },
         {{1041, "ソースを指定してください(ドラッグ&&ドロップ可)"},
          {1051, "入力ファイル名[AVI]"},
          {1057, "出力ファイル名[AVI or WAV]"},
          {1061, "映像切り出し(&V)"},
          {1062, "音声切り出し(&A)"},
          {1064, "停止(&S)"},
          {1067, "進行状況"}}},
        {false,
         [] { return Make<CWMVCreatorDlg>(); },
         {{1051, "Video Src[WMV]"},
          {1054, "Audio Src[WMV or WMA]"},
          {1057, "Output Dst[WMV]"},
          {1063, "Comb(&C)"},
          {1065, "Please put the Input and Output, and push the Comb button."}}},
        {true,
         [] { return Make<CAVICreatorDlg>(); },
         {{1051, "映像ソース[AVI]"}, {1054, "音声ソース[AVI or WAV]"}, {1063, "合体(&C)"}}},
        {false,
         [] { return Make<CWMVLinkerDlg>(); },
         {{1057, "Output Dst[WMV or WMA]"},
          {1063, "Link(&L)"},
          {1071, "Add(&A)"},
          {1072, "Reset(&R)"},
          {1073, "Del(&D)"},
          {1065, "Please put the Input and Output, and push the Link button."}}},
        {true,
         [] { return Make<CFLvLinkerDlg>(); },
         {{1057, "出力ファイル名[FLV]"},
          {1063, "連結(&L)"},
          {1071, "追加(&A)"},
          {1072, "リセット(&R)"},
          {1073, "削除(&D)"}}},
        {false,
         [] { return Make<CWAVExtract>(); },
         {{1051, "Input Src[WAV]"},
          {1057, "Output Dst[WAV]"},
          {1089, "Extraction range"},
          {1090, "H"},
          {1091, "H"},
          {1092, "M"},
          {1093, "M"},
          {1094, "S"},
          {1095, "S"},
          {1063, "Extra(&E)"}}},
        {true,
         [] { return Make<CFLVExtract>(); },
         {{1051, "入力ファイル名[FLV]"},
          {1089, "抽出範囲指定"},
          {1090, "時"},
          {1093, "分"},
          {1095, "秒"},
          {1063, "抽出(&E)"},
          {1065, "ソースと出力ファイル名を入れて、抽出ボタンを押してください"}}},
    };
    for (const auto& c : cases) {
        ScopedLanguage lang(c.japanese);
        auto page = c.make();
        for (const auto& [id, text] : c.expected)
            EXPECT_EQ(page->GetCtrlText(id), text) << page->metaObject()->className() << " " << id;
    }
}

TEST(PageCaptions, EveryPageNamesItsFormats) {
    ScopedLanguage lang(false);
    struct Case {
        std::function<std::unique_ptr<CBaseDialog>()> make;
        std::string source, output;
    };
    const std::vector<Case> cases = {
        {[] { return Make<CAVICutterDlg>(); }, "Input Src[AVI]", "Output Dst[AVI or WAV]"},
        {[] { return Make<CAVICreatorDlg>(); }, "Video Src[AVI]", "Output Dst[AVI]"},
        {[] { return Make<CAVILinkerDlg>(); }, "", "Output Dst[AVI]"},
        {[] { return Make<CAVIExtract>(); }, "Input Src[AVI]", "Output Dst[AVI]"},
        {[] { return Make<CWAVLinkerDlg>(); }, "", "Output Dst[WAV]"},
        {[] { return Make<CWAVExtract>(); }, "Input Src[WAV]", "Output Dst[WAV]"},
        {[] { return Make<CWMVCutterDlg>(); }, "Input Src[WMV]", "Output Dst[WMV or WMA]"},
        {[] { return Make<CWMVCreatorDlg>(); }, "Video Src[WMV]", "Output Dst[WMV]"},
        {[] { return Make<CWMVLinkerDlg>(); }, "", "Output Dst[WMV or WMA]"},
        {[] { return Make<CWMVExtract>(); }, "Input Src[WMV or WMA]", "Output Dst[WMV or WMA]"},
        {[] { return Make<CFLVCutterDlg>(); }, "Input Src[FLV]", "Output Dst[AVI or mp3]"},
        {[] { return Make<CFLvLinkerDlg>(); }, "", "Output Dst[FLV]"},
        {[] { return Make<CFLVExtract>(); }, "Input Src[FLV]", "Output Dst[FLV]"},
    };
    for (const auto& c : cases) {
        auto page = c.make();
        EXPECT_EQ(page->GetCtrlText(1051), c.source) << page->metaObject()->className();
        EXPECT_EQ(page->GetCtrlText(1057), c.output) << page->metaObject()->className();
        EXPECT_EQ(page->GetCtrlText(1058), "");
        EXPECT_EQ(page->IsIdle(), 1);
        EXPECT_FALSE(Enabled(page.get(), 1064));
    }
}

// ---- drops and default names ----

TEST(PageInputs, DroppedFileNamesTheOutput) {
    struct Case {
        std::function<std::unique_ptr<CBaseOpe>()> make;
        std::string dropped, output;
    };
    const std::vector<Case> cases = {
        {[] { return Make<CAVICutterDlg>(); }, "/a/Movie.AVI", "/a/Movie_cut.avi"},
        {[] { return Make<CFLVCutterDlg>(); }, "/a/clip.flv", "/a/clip_cut.flv"},
        // The extraction kind alone (the pages go on to read the file's length).
        {[] {
             auto p = std::make_unique<CBaseExtract>(nullptr, 0xFF8080u);
             p->CreateDlg(nullptr);
             return p;
         },
         "/a/Movie.AVI", "/a/Movie_extr.avi"},
        // The extraction kind itself: the WMV page reads a dropped file and forgets one it cannot read.
        {[] {
             auto p = std::make_unique<CBaseExtract>(nullptr, 0xBFFF80u);
             p->CreateDlg(nullptr);
             return p;
         },
         "/a/b.c/noext", "/a/b.c/noext_extr"},
        {[] { return Make<CWAVLinkerDlg>(); }, "/a/s.WAV", "/a/s_link.wav"},
        {[] { return Make<CAVICreatorDlg>(); }, "/a/v.avi", "/a/v_comb.avi"},
        {[] { return Make<CWMVCreatorDlg>(); }, "/a/v.asf", "/a/v_comb.wmv"},
    };
    for (const auto& c : cases) {
        auto page = c.make();
        page->SetInputFile(c.dropped);
        EXPECT_EQ(page->GetCtrlText(1058), c.output) << page->metaObject()->className();
        EXPECT_EQ(page->OutputPath(), c.output);
        const auto inputs = page->InputPaths();
        EXPECT_NE(std::find(inputs.begin(), inputs.end(), c.dropped), inputs.end());
    }
}

TEST(PageInputs, RealDropCallsSetInputFileOncePerFileInOrder) {
    auto page = Make<CAVILinkerDlg>();
    QMimeData mime;
    mime.setUrls(
        {QUrl::fromLocalFile("/d/2.avi"), QUrl::fromLocalFile("/d/1.avi"), QUrl::fromLocalFile("/d/3.avi")});
    // Dropped on the list, the files still reach the page.
    test::DropFiles(page->FileList()->viewport(), mime);
    EXPECT_EQ(page->Fields().files, (std::vector<std::string>{"/d/2.avi", "/d/1.avi", "/d/3.avi"}));
    EXPECT_EQ(page->GetCtrlText(1058), "/d/2_link.avi");
    ASSERT_EQ(page->FileList()->count(), 3);
    EXPECT_EQ(page->FileList()->item(2)->text(), "/d/3.avi");
}

TEST(PageInputs, DropsOnEditsReachThePage) {
    // The extraction kind, which does not read the dropped file (these paths do not exist).
    auto page = std::make_unique<CBaseExtract>(nullptr, 0xFF8080u);
    page->CreateDlg(nullptr);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/e/one.avi")});
    test::DropFiles(page->GetDlgItem(1058), mime);  // read-only path edit
    EXPECT_EQ(page->Fields().input, "/e/one.avi");
    mime.setUrls({QUrl::fromLocalFile("/e/two.avi")});
    test::DropFiles(page->GetDlgItem(1082), mime);  // a time field
    EXPECT_EQ(page->Fields().input, "/e/two.avi");
    EXPECT_EQ(page->GetCtrlText(1082), "0");
}

TEST(PageLook, TextsDrawOnThePageColour) {
    auto page = Make<CWAVExtract>();
    const QColor wav = FromColorRef(0x80FFFF);
    EXPECT_EQ(wav, QColor(0xFF, 0xFF, 0x80));
    EXPECT_EQ(page->palette().color(QPalette::Window), wav);
    EXPECT_TRUE(page->autoFillBackground());
    const QColor text = QApplication::palette().color(QPalette::ButtonText);
    for (int id : {1041, 1051, 1065, 1089}) {
        QWidget* w = page->GetDlgItem(id);
        EXPECT_FALSE(w->autoFillBackground()) << id;
        EXPECT_EQ(w->palette().color(QPalette::WindowText), text) << id;
    }
    // Read-only edits draw like static texts; the time fields stay white.
    EXPECT_EQ(page->GetDlgItem(1052)->palette().color(QPalette::Base), wav);
    EXPECT_NE(page->GetDlgItem(1081)->palette().color(QPalette::Base), wav);
}

// The information line shows its whole text inside its box, on every page, in
// both languages, with the dialog font the program asks for.
TEST(PageLook, InstructionLineFits) {
    for (bool japanese : {false, true}) {
        ScopedLanguage lang(japanese);
        const std::vector<std::function<std::unique_ptr<CBaseOpe>()>> makers = {
            [] { return std::unique_ptr<CBaseOpe>(Make<CAVICutterDlg>()); },
            [] { return std::unique_ptr<CBaseOpe>(Make<CAVICreatorDlg>()); },
            [] { return std::unique_ptr<CBaseOpe>(Make<CAVILinkerDlg>()); },
            [] { return std::unique_ptr<CBaseOpe>(Make<CAVIExtract>()); },
            [] { return std::unique_ptr<CBaseOpe>(Make<CWAVLinkerDlg>()); },
            [] { return std::unique_ptr<CBaseOpe>(Make<CWAVExtract>()); },
            [] { return std::unique_ptr<CBaseOpe>(Make<CWMVCutterDlg>()); },
            [] { return std::unique_ptr<CBaseOpe>(Make<CWMVCreatorDlg>()); },
            [] { return std::unique_ptr<CBaseOpe>(Make<CWMVLinkerDlg>()); },
            [] { return std::unique_ptr<CBaseOpe>(Make<CWMVExtract>()); },
            [] { return std::unique_ptr<CBaseOpe>(Make<CFLVCutterDlg>()); },
            [] { return std::unique_ptr<CBaseOpe>(Make<CFLvLinkerDlg>()); },
            [] { return std::unique_ptr<CBaseOpe>(Make<CFLVExtract>()); },
        };
        for (size_t i = 0; i < makers.size(); ++i) {
            auto page = makers[i]();
            auto* info = qobject_cast<QLabel*>(page->GetDlgItem(kIdInfo));
            ASSERT_NE(info, nullptr);
            const QString text = info->text();
            ASSERT_FALSE(text.isEmpty()) << i;
            const QRect box = info->contentsRect();
            const QRect need = QFontMetrics(info->font())
                                   .boundingRect(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
            EXPECT_LE(need.width(), box.width()) << i << " " << japanese;
            EXPECT_LE(need.height(), box.height()) << i << " " << japanese;
            EXPECT_TRUE(info->wordWrap());
            // Still clear of the progress bar, and readable.
            EXPECT_FALSE(info->geometry().intersects(page->GetDlgItem(kIdProgress)->geometry())) << i;
            EXPECT_GE(info->font().pointSize(), 6) << i << " " << japanese;
            // A progress text keeps the font it fits in.
            page->SetCtrlText(kIdInfo, "42 % (00:01:10/00:01:36)");
            EXPECT_EQ(info->font().pointSize(), page->font().pointSize()) << i;
        }
    }
}

TEST(PageInputs, UnionSortsSourcesByExtension) {
    for (bool audioFirst : {false, true}) {
        auto page = Make<CAVICreatorDlg>();
        if (audioFirst) page->SetInputFile("D:/s.WAV");
        page->SetInputFile("D:/v.avi");
        if (!audioFirst) page->SetInputFile("D:/s.WAV");
        EXPECT_EQ(page->GetCtrlText(1052), "D:/v.avi");
        EXPECT_EQ(page->GetCtrlText(1055), "D:/s.WAV");
        EXPECT_EQ(page->GetCtrlText(1058), "D:/v_comb.avi");
    }
    auto wmv = Make<CWMVCreatorDlg>();
    wmv->SetInputFile("/m/a.WMA");
    EXPECT_EQ(wmv->Fields().audioSource, "/m/a.WMA");
    EXPECT_EQ(wmv->Fields().output, "");
}

TEST(PageInputs, DelAndReset) {
    auto page = Make<CWMVLinkerDlg>();
    for (const char* f : {"/m/a.wmv", "/m/b.wmv", "/m/c.wmv"}) page->SetInputFile(f);
    QListWidget* list = page->FileList();

    Click(page.get(), 1073);  // nothing selected: nothing happens
    EXPECT_EQ(list->count(), 3);

    list->setCurrentRow(1);
    Click(page.get(), 1073);
    EXPECT_EQ(page->Fields().files, (std::vector<std::string>{"/m/a.wmv", "/m/c.wmv"}));
    EXPECT_EQ(page->GetCtrlText(1058), "/m/a_link.wmv");  // the output stays

    for (int i = 0; i < 2; ++i) {
        list->setCurrentRow(0);
        Click(page.get(), 1073);
    }
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(page->GetCtrlText(1058), "");

    page->SetInputFile("/m/x.wma");
    page->SetInputFile("/m/y.wma");
    Click(page.get(), 1072);
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(page->GetCtrlText(1058), "");
    page->SetInputFile("/m/z.wma");
    EXPECT_EQ(page->GetCtrlText(1058), "/m/z_link.wma");
}

// The connection pages change their list through the list's own operations:
// the horizontal extent reaches the longest path and Del selects as the list
// defines.
TEST(PageInputs, ListExtentAndSelectionFollowTheEntries) {
    auto page = Make<CAVILinkerDlg>();
    page->show();
    auto* list = qobject_cast<CDragListBoxEx*>(page->FileList());
    ASSERT_NE(list, nullptr);
    const std::string longPath = "/m/" + std::string(300, 'p') + ".avi";
    for (const std::string& f : {std::string("/m/a.avi"), longPath, std::string("/m/c.avi")})
        page->SetInputFile(f);
    const int widest = GetTextSize(list, QString::fromStdString(longPath)).width();
    EXPECT_EQ(list->HorizontalExtent(), widest + 5);
    QApplication::processEvents();
    EXPECT_EQ(list->horizontalScrollBar()->maximum() + list->viewport()->width(), widest + 5);

    // Del of the last entry selects the new last one; of a middle one, the next.
    list->setCurrentRow(2);
    Click(page.get(), 1073);
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_TRUE(list->currentItem()->isSelected());
    list->setCurrentRow(0);
    Click(page.get(), 1073);
    EXPECT_EQ(list->Items(), QStringList{QString::fromStdString(longPath)});
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_EQ(list->HorizontalExtent(), widest + 5);
    Click(page.get(), 1073);
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_EQ(list->HorizontalExtent(), 1 + 5);

    page->SetInputFile(longPath);
    Click(page.get(), 1072);  // Reset
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(list->HorizontalExtent(), 1 + 5);
}

TEST(PageInputs, ListOrderChangedInTheWidgetIsTheJoinOrder) {
    auto page = Make<CFLvLinkerDlg>();
    page->SetInputFile("/f/1.flv");
    page->SetInputFile("/f/2.flv");
    QListWidget* list = page->FileList();
    list->insertItem(0, list->takeItem(1));  // as a drag inside the list would
    page->UpdateData(true);
    EXPECT_EQ(page->Fields().files, (std::vector<std::string>{"/f/2.flv", "/f/1.flv"}));
}

// ---- file dialogs ----

TEST(PageBrowse, ButtonsUseTheirFiltersAndExtensions) {
    ScopedLanguage lang(false);
    const std::string all = "all (*.*)|*.*|";
    const std::string avi = "AVI (*.AVI)|*.avi|", wav = "WAV (*.WAV)|*.wav|", wmv = "WMV (*.WMV)|*.wmv|",
                      wma = "WMA (*.wma)|*.wma|", flv = "FLV (*.FLV)|*.flv|";
    const std::string wavAudio = "WAV-Audio  (*.wav;*.avi)|*.wav; *.avi|";
    const std::string wmaAudio = "WMA-Audio  (*.wma;*.wmv)|*.wma; *.wmv|";
    const std::string wm = wmaAudio + wmv + wma;
    struct Case {
        std::function<std::unique_ptr<CBaseOpe>()> make;
        int button;
        std::string filter, ext;
        bool save, multi;
    };
    const std::vector<Case> cases = {
        {[] { return Make<CAVICutterDlg>(); }, 1053, avi + all, ".avi", false, false},
        {[] { return Make<CAVICutterDlg>(); }, 1059, avi + wav, ".avi", true, false},
        {[] { return Make<CAVICreatorDlg>(); }, 1053, avi + all, ".avi", false, false},
        {[] { return Make<CAVICreatorDlg>(); }, 1056, wavAudio + wav + avi + all, ".wav", false, false},
        {[] { return Make<CAVICreatorDlg>(); }, 1059, avi, ".avi", true, false},
        {[] { return Make<CAVILinkerDlg>(); }, 1071, avi + all, ".avi", false, true},
        {[] { return Make<CAVILinkerDlg>(); }, 1059, avi, ".avi", true, false},
        {[] { return Make<CAVIExtract>(); }, 1053, avi + all, ".avi", false, false},
        {[] { return Make<CAVIExtract>(); }, 1059, avi, ".avi", true, false},
        {[] { return Make<CWAVLinkerDlg>(); }, 1071, wavAudio + wav + avi + all, ".wav", false, true},
        {[] { return Make<CWAVLinkerDlg>(); }, 1059, wav, ".wav", true, false},
        {[] { return Make<CWAVExtract>(); }, 1053, wavAudio + wav + avi + all, ".wav", false, false},
        {[] { return Make<CWAVExtract>(); }, 1059, wav, ".wav", true, false},
        {[] { return Make<CWMVCutterDlg>(); }, 1053, wmv + all, ".wmv", false, false},
        {[] { return Make<CWMVCutterDlg>(); }, 1059, wm, ".wmv", true, false},
        {[] { return Make<CWMVCreatorDlg>(); }, 1053, wmv + all, ".wmv", false, false},
        {[] { return Make<CWMVCreatorDlg>(); }, 1056, wmaAudio + wma + wmv + all, ".wma", false, false},
        {[] { return Make<CWMVCreatorDlg>(); }, 1059, wmv, ".wmv", true, false},
        {[] { return Make<CWMVLinkerDlg>(); }, 1071, wm + all, ".wmv", false, true},
        {[] { return Make<CWMVLinkerDlg>(); }, 1059, wm, ".wmv", true, false},
        {[] { return Make<CWMVExtract>(); }, 1053, wm + all, ".wmv", false, false},
        {[] { return Make<CWMVExtract>(); }, 1059, wm, ".wmv", true, false},
        {[] { return Make<CFLVCutterDlg>(); }, 1053, flv + all, ".flv", false, false},
        {[] { return Make<CFLVCutterDlg>(); }, 1059, avi + "MP3 (*.mp3)|*.mp3|AAC (*.aac)|*.aac|", ".avi",
         true, false},
        {[] { return Make<CFLvLinkerDlg>(); }, 1071, flv + all, ".flv", false, true},
        {[] { return Make<CFLvLinkerDlg>(); }, 1059, flv, ".flv", true, false},
        {[] { return Make<CFLVExtract>(); }, 1053, flv + all, ".flv", false, false},
        {[] { return Make<CFLVExtract>(); }, 1059, flv, ".flv", true, false},
    };
    for (const auto& c : cases) {
        FileDialogScript dialogs;
        auto page = c.make();
        Click(page.get(), c.button);
        ASSERT_EQ(dialogs.requests.size(), 1u) << page->metaObject()->className() << " " << c.button;
        const FileDialogRequest& r = dialogs.requests[0];
        EXPECT_EQ(r.filter, c.filter) << page->metaObject()->className() << " " << c.button;
        EXPECT_EQ(r.defaultExt, c.ext) << page->metaObject()->className() << " " << c.button;
        EXPECT_EQ(r.save, c.save);
        EXPECT_EQ(r.multiSelect, c.multi);
    }
}

TEST(PageBrowse, JapaneseAllFilesEntry) {
    ScopedLanguage lang(true);
    FileDialogScript dialogs;
    auto page = Make<CAVICutterDlg>();
    Click(page.get(), 1053);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].filter, "AVI (*.AVI)|*.avi|すべてのファイル  (*.*)|*.*|");
}

TEST(PageBrowse, ChoicesBehaveLikeDropsAndCancelChangesNothing) {
    FileDialogScript dialogs;
    auto page = Make<CAVICutterDlg>();
    dialogs.Answer({"/v/in.avi"});
    Click(page.get(), 1053);
    EXPECT_EQ(page->GetCtrlText(1052), "/v/in.avi");
    EXPECT_EQ(page->GetCtrlText(1058), "/v/in_cut.avi");

    Click(page.get(), 1053);  // cancelled
    Click(page.get(), 1059);  // cancelled
    EXPECT_EQ(page->GetCtrlText(1052), "/v/in.avi");
    EXPECT_EQ(page->GetCtrlText(1058), "/v/in_cut.avi");
    EXPECT_EQ(dialogs.requests[1].initialFile, "/v/in.avi");
    EXPECT_EQ(dialogs.requests[2].initialFile, "/v/in_cut.avi");

    dialogs.Answer({"/out/x.wav"});
    Click(page.get(), 1059);
    EXPECT_EQ(page->GetCtrlText(1058), "/out/x.wav");

    // Union: the audio button takes any container; the video button sorts.
    auto uni = Make<CAVICreatorDlg>();
    dialogs.Answer({"/u/sound.avi"});
    Click(uni.get(), 1056);
    dialogs.Answer({"/u/voice.wav"});
    Click(uni.get(), 1053);
    EXPECT_EQ(uni->Fields().audioSource, "/u/voice.wav");
    EXPECT_EQ(uni->Fields().videoSource, "");

    // Add: every chosen file in the dialog's order.
    auto link = Make<CAVILinkerDlg>();
    dialogs.Answer({"/l/b.avi", "/l/a.avi"});
    Click(link.get(), 1071);
    EXPECT_EQ(link->Fields().files, (std::vector<std::string>{"/l/b.avi", "/l/a.avi"}));
    EXPECT_EQ(link->Fields().output, "/l/b_link.avi");
}

TEST(PageBrowse, ConvertsFiltersForTheToolkit) {
    EXPECT_EQ(ConvertFilter("AVI (*.AVI)|*.avi|"), (std::vector<std::string>{"AVI (*.AVI) (*.avi)"}));
    EXPECT_EQ(ConvertFilter("WAV-Audio  (*.wav;*.avi)|*.wav; *.avi|all (*.*)|*.*|"),
              (std::vector<std::string>{"WAV-Audio  (*.wav;*.avi) (*.wav *.avi)", "all (*.*) (*.*)"}));
    EXPECT_EQ(ConvertFilter(""), std::vector<std::string>{});
    EXPECT_EQ(ConvertFilter("dangling text"), std::vector<std::string>{});
}

// ---- running state ----

class RunningPage : public ::testing::Test {
  protected:
    void SetUp() override {
        FakeClock::now = 1000;
        page = Make<CAVICutterDlg>();
        page->Stopwatch().SetClock(&FakeClock::Read);
        page->SetInputFile((dir / "in.avi").string());
    }
    vt::test::TempDir dir;
    BoxRecorder boxes;
    std::unique_ptr<CAVICutterDlg> page;
};

TEST_F(RunningPage, BeginProgressEnd) {
    ScopedLanguage lang(false);
    ASSERT_TRUE(page->BeginOperation());
    EXPECT_EQ(page->IsIdle(), 0);
    EXPECT_TRUE(page->IsRunning());
    EXPECT_TRUE(Enabled(page.get(), 1064));
    EXPECT_FALSE(Enabled(page.get(), 1061));
    EXPECT_FALSE(Enabled(page.get(), 1062));
    EXPECT_EQ(page->GetCtrlText(1065), "  0 %");
    EXPECT_EQ(page->ProgressBar()->value(), 0);

    // Within the first 500 ms nothing is shown.
    FakeClock::now += 500;
    ReportProgress(page.get(), 30);
    EXPECT_EQ(page->GetCtrlText(1065), "  0 %");

    FakeClock::now += 10000;
    ReportProgress(page.get(), 50);
    EXPECT_EQ(page->GetCtrlText(1065), "50 % (00:00:00/00:00:00)");
    EXPECT_EQ(page->ProgressBar()->value(), 50);

    FakeClock::now += 10000;
    page->ReportProgress(99.6);  // through the operation host
    EXPECT_EQ(page->GetCtrlText(1065), "99 % (00:00:10/00:00:00)");
    EXPECT_EQ(page->ProgressBar()->value(), 99);
    EXPECT_FALSE(page->StopRequested());

    page->EndOperation();
    EXPECT_EQ(page->GetCtrlText(1065), "100 %");
    EXPECT_EQ(page->ProgressBar()->value(), 100);
    EXPECT_EQ(page->IsIdle(), 1);
    EXPECT_FALSE(page->IsRunning());
    EXPECT_FALSE(Enabled(page.get(), 1064));
    EXPECT_TRUE(Enabled(page.get(), 1061));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(RunningPage, JapaneseSeparator) {
    ScopedLanguage lang(true);
    ASSERT_TRUE(page->BeginOperation());
    FakeClock::now += 3725000;
    ReportProgress(page.get(), 0);
    EXPECT_EQ(page->GetCtrlText(1065), "0 % (00:00:00／00:00:00)");
    FakeClock::now += 1000;
    ReportProgress(page.get(), 50);
    EXPECT_EQ(page->GetCtrlText(1065), "50 % (01:02:05／01:02:05)");
    page->EndOperation();
}

TEST_F(RunningPage, StopKeepsTheLastProgress) {
    ASSERT_TRUE(page->BeginOperation());
    FakeClock::now += 600;
    ReportProgress(page.get(), 42);
    Click(page.get(), 1064);
    EXPECT_EQ(page->IsIdle(), 1);
    EXPECT_TRUE(page->StopRequested());
    EXPECT_FALSE(Enabled(page.get(), 1064));
    EXPECT_TRUE(Enabled(page.get(), 1061));
    // The aborted operation's error is not shown.
    page->ShowErrorMessage("", 1002);
    page->EndOperation();
    EXPECT_EQ(page->ProgressBar()->value(), 42);
    EXPECT_EQ(page->GetCtrlText(1065).substr(0, 4), "42 %");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(RunningPage, InputsAreLockedWhileRunning) {
    FileDialogScript dialogs;
    const std::string output = page->OutputPath();
    ASSERT_TRUE(page->BeginOperation());
    for (int id : {1053, 1059}) EXPECT_FALSE(Enabled(page.get(), id)) << id;
    page->SetInputFile("/elsewhere/other.avi");  // a drop
    page->BrowseInputFile("", "AVI (*.AVI)|*.avi|", ".avi");
    page->BrowseOutputFile("AVI (*.AVI)|*.avi|", ".avi");
    EXPECT_TRUE(dialogs.requests.empty());
    EXPECT_EQ(page->Fields().input, (dir / "in.avi").string());
    EXPECT_EQ(page->OutputPath(), output);
    // A second start before the first has ended is refused.
    Click(page.get(), 1064);
    EXPECT_FALSE(page->BeginOperation());
    page->EndOperation();
    for (int id : {1053, 1059}) EXPECT_TRUE(Enabled(page.get(), id)) << id;

    auto link = Make<CWAVLinkerDlg>();
    link->SetInputFile("/w/a.wav");
    link->SetInputFile("/w/b.wav");
    ASSERT_TRUE(link->BeginOperation());
    for (int id : {1042, 1071, 1072, 1073, 1059}) EXPECT_FALSE(Enabled(link.get(), id)) << id;
    link->SetInputFile("/w/c.wav");
    link->OnReset();
    link->FileList()->setCurrentRow(0);
    link->OnDel();
    EXPECT_EQ(link->Fields().files.size(), 2u);
    EXPECT_EQ(link->FileList()->count(), 2);
    link->EndOperation();
}

TEST_F(RunningPage, ExistingReadOnlyOutputIsDeletedAtTheStart) {
    const fs::path out = dir / "in_cut.avi";
    Touch(out);
    fs::permissions(out, fs::perms::owner_read);
    ASSERT_TRUE(page->BeginOperation());
    EXPECT_FALSE(fs::exists(out));
    page->EndOperation();
}

TEST_F(RunningPage, StartIsRefusedWhenTheOutputIsAnInput) {
    ScopedLanguage lang(false);
    const fs::path in = dir / "in.avi";
    Touch(in);
    FileDialogScript dialogs;
    dialogs.Answer({(dir / "." / "in.avi").string()});
    Click(page.get(), 1059);
    EXPECT_FALSE(page->BeginOperation());
    EXPECT_TRUE(fs::exists(in));
    EXPECT_EQ(page->IsIdle(), 1);
    EXPECT_FALSE(page->IsRunning());
    EXPECT_TRUE(Enabled(page.get(), 1061));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].text.find("The output file is one of the input files"), std::string::npos);

    // Connection: any listed file counts.
    auto link = Make<CAVILinkerDlg>();
    link->SetInputFile((dir / "a.avi").string());
    link->SetInputFile(in.string());
    dialogs.Answer({in.string()});
    Click(link.get(), 1059);
    EXPECT_FALSE(link->BeginOperation());
    EXPECT_TRUE(fs::exists(in));
}

TEST_F(RunningPage, WorkerThreadsReportThroughTheUserInterfaceThread) {
    ScopedLanguage lang(false);
    ASSERT_TRUE(page->BeginOperation());
    std::atomic<bool> done{false};
    std::thread worker([&] {
        FakeClock::now += 600;
        page->ReportProgress(25);
        page->ShowErrorMessage("", 9010);
        page->EndOperation();
        done = true;
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(page->ProgressBar()->value(), 25);
    EXPECT_EQ(page->GetCtrlText(1065).substr(0, 4), "25 %");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, "エラーNo.9010");
    EXPECT_EQ(page->IsIdle(), 1);
    EXPECT_FALSE(page->IsRunning());
    EXPECT_TRUE(Enabled(page.get(), 1061));
}

// ---- error box ----

TEST_F(RunningPage, ErrorMessages) {
    ScopedLanguage lang(false);
    struct Case {
        std::string detail;
        int code;
        bool shown;
        std::string caption, text;
    };
    const std::vector<Case> cases = {
        {"", 0, false, "", ""},
        {"", -2, false, "", ""},
        {"", 9010, true, "エラーNo.9010", "エラーNo.9010\n\nHeader reading failure"},
        {"/w/in.wav", 6004, true, "エラーNo.6004", "エラーNo.6004\n\n/w/in.wav\nIt is not WAV."},
        {"", 7, true, "エラーNo.0007", "エラーNo.0007\n\nOther Errors"},
        {"", -42, true, "エラーNo.-042", "エラーNo.-042\n\nBuffer over"},
    };
    for (const auto& c : cases) {
        boxes.boxes.clear();
        ASSERT_TRUE(page->BeginOperation());
        page->ShowErrorMessage(c.detail, c.code);
        EXPECT_EQ(page->IsIdle(), c.code == 0 ? 0 : 1) << c.code;
        if (c.code != 0) page->ShowErrorMessage("", 1002);  // a second report of the run
        ASSERT_EQ(boxes.boxes.size(), c.shown ? 1u : 0u) << c.code;
        if (c.shown) {
            EXPECT_EQ(boxes.boxes[0].caption, c.caption);
            EXPECT_EQ(boxes.boxes[0].text, c.text);
            EXPECT_EQ(boxes.boxes[0].icon, BoxIcon::Error);
        }
        page->EndOperation();
        if (c.code != 0) {
            EXPECT_EQ(page->GetCtrlText(1065), "  0 %");  // no "100 %" after an error
        }
    }
    // Without a running operation nothing is shown.
    boxes.boxes.clear();
    page->ShowErrorMessage("", 9010);
    EXPECT_TRUE(boxes.boxes.empty());
}

// ---- extraction fields ----

TEST(PageExtract, TimeFieldRangeIsCheckedAtTheStart) {
    ScopedLanguage lang(false);
    BoxRecorder boxes;
    vt::test::TempDir dir;
    auto page = Make<CAVIExtract>();
    page->SetInputFile((dir / "m.avi").string());
    EXPECT_EQ(page->GetCtrlText(1081), "0");
    page->SetCtrlText(1082, "60");
    EXPECT_FALSE(page->BeginOperation());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Please enter an integer between 0 and 59.");
    EXPECT_EQ(page->IsIdle(), 1);

    page->SetCtrlText(1082, "59");
    page->SetCtrlText(1088, "1000");
    boxes.boxes.clear();
    EXPECT_FALSE(page->BeginOperation());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Please enter an integer between 0 and 999.");

    page->SetCtrlText(1088, "999");
    page->SetCtrlText(1085, "2147483647");
    ASSERT_TRUE(page->BeginOperation());
    EXPECT_EQ(page->Fields().start.minutes, 59);
    EXPECT_EQ(page->Fields().end.hours, 2147483647);
    page->EndOperation();
}

TEST(PageExtract, TimeFieldsTakeDigitsOnly) {
    auto page = Make<CFLVExtract>();
    auto* edit = qobject_cast<CNumberEditBox*>(page->GetDlgItem(1083));
    ASSERT_NE(edit, nullptr);
    edit->clear();
    QTest::keyClicks(edit, "12.a-5");
    EXPECT_EQ(edit->text(), "125");
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), "12");
    EXPECT_FALSE(edit->testAttribute(Qt::WA_InputMethodEnabled));
}

// A drop on a running extraction page changes none of its fields: the running
// operation reads them, and the next run must not cut another range.
TEST(PageExtract, DropWhileRunningLeavesTheFieldsAlone) {
    ScopedLanguage lang(false);
    BoxRecorder boxes;
    vt::test::TempDir dir;
    const std::vector<std::function<std::unique_ptr<CBaseExtract>()>> makers = {
        [] { return std::unique_ptr<CBaseExtract>(Make<CAVIExtract>()); },
        [] { return std::unique_ptr<CBaseExtract>(Make<CWAVExtract>()); },
    };
    for (size_t i = 0; i < makers.size(); ++i) {
        auto page = makers[i]();
        page->SetInputFile((dir / "in.avi").string());  // unreadable: fields stay empty
        page->SetCtrlText(kIdSourceEdit, (dir / "in.avi").string());
        page->SetCtrlText(kIdOutputEdit, (dir / "out.avi").string());
        page->SetCtrlText(1083, "5");
        page->SetCtrlText(1087, "9");
        ASSERT_TRUE(page->BeginOperation()) << i;
        boxes.boxes.clear();
        page->SetInputFile((dir / "other.avi").string());
        EXPECT_EQ(page->Fields().input, (dir / "in.avi").string()) << i;
        EXPECT_EQ(page->OutputPath(), (dir / "out.avi").string()) << i;
        EXPECT_EQ(page->Fields().start.seconds, 5) << i;
        EXPECT_EQ(page->Fields().end.seconds, 9) << i;
        EXPECT_EQ(page->GetCtrlText(1083), "5") << i;
        EXPECT_EQ(page->GetCtrlText(1087), "9") << i;
        EXPECT_TRUE(boxes.boxes.empty()) << i;
        page->EndOperation();
    }
}

TEST(PageExtract, MillisecondsShowThreeDigits) {
    BoxRecorder boxes;
    vt::test::TempDir dir;
    auto page = Make<CFLVExtract>();
    page->SetCtrlText(kIdSourceEdit, (dir / "a.flv").string());
    page->SetCtrlText(kIdOutputEdit, (dir / "b.flv").string());
    struct Case {
        const char* typed;
        int value;
        const char* shown;
    };
    for (const Case& c : {Case{"46", 46, "046"}, Case{"5", 5, "005"}, Case{"046", 46, "046"},
                          Case{"999", 999, "999"}, Case{"0", 0, "000"}}) {
        page->SetCtrlText(1084, c.typed);
        page->SetCtrlText(1088, c.typed);
        ASSERT_TRUE(page->UpdateData(true)) << c.typed;
        EXPECT_EQ(page->Fields().start.milliseconds, c.value) << c.typed;
        EXPECT_EQ(page->Fields().end.milliseconds, c.value) << c.typed;
        page->UpdateData(false);
        EXPECT_EQ(page->GetCtrlText(1084), c.shown) << c.typed;
        EXPECT_EQ(page->GetCtrlText(1088), c.shown) << c.typed;
    }
    EXPECT_EQ(page->GetCtrlText(1083), "0");  // the other fields keep their plain digits
    EXPECT_TRUE(boxes.boxes.empty());
}

// Opening an input (headers, index) hands control to the page's message pump
// now and then, and only while it opens.
TEST(PageRun, OpeningAnInputPumpsMessages) {
    const fs::path avi = vt::test::AviMpeg4Mp3();
    if (avi.empty() || !fs::exists(avi)) GTEST_SKIP() << "no fixture (ffmpeg missing?)";
    int pumps = 0;
    CDecAVIAudio reader;
    reader.SetOpenPump([&] { ++pumps; }, std::chrono::milliseconds(0));
    ASSERT_EQ(reader.Open(avi.string()), 0);
    EXPECT_GT(pumps, 0);
    const int afterOpen = pumps;
    CMemBuffBase<unsigned char> buffer;
    int samples = 0, bytes = 0;
    for (int p = 0; p < reader.GetLength(); p += std::max(1, samples))
        ASSERT_EQ(reader.ReadVideoSample(p, &samples, buffer, &bytes), 0);
    EXPECT_EQ(pumps, afterOpen);
}

TEST(PageBrowse, EachDialogRemembersItsLastFolder) {
    test::ScopedSettingsStore store;
    FileDialogScript dialogs;
    {
        auto page = Make<CAVIExtract>();
        dialogs.Answer({"/films/2026/a.avi"});
        page->BrowseInputFile("", "AVI (*.AVI)|*.avi|", ".avi");
        dialogs.Answer({});
        page->BrowseInputFile("", "AVI (*.AVI)|*.avi|", ".avi");
        dialogs.Answer({"/out/b.avi"});
        page->BrowseOutputFile("AVI (*.AVI)|*.avi|", ".avi");
    }
    ASSERT_EQ(dialogs.requests.size(), 3u);
    EXPECT_EQ(dialogs.requests[0].initialFolder, "");
    EXPECT_EQ(dialogs.requests[1].initialFolder, "/films/2026");
    EXPECT_EQ(dialogs.requests[2].initialFolder, "");  // the output dialog has its own
    EXPECT_NE(dialogs.requests[0].folderKey, dialogs.requests[2].folderKey);

    // A new run of the program: the same dialogs open where they were left;
    // another page's dialog has a folder of its own.
    auto again = Make<CAVIExtract>();
    dialogs.Answer({});
    again->BrowseInputFile("", "AVI (*.AVI)|*.avi|", ".avi");
    dialogs.Answer({});
    again->BrowseOutputFile("AVI (*.AVI)|*.avi|", ".avi");
    auto other = Make<CWAVExtract>();
    dialogs.Answer({});
    other->BrowseInputFile("", "WAV (*.WAV)|*.wav|", ".wav");
    ASSERT_EQ(dialogs.requests.size(), 6u);
    EXPECT_EQ(dialogs.requests[3].initialFolder, "/films/2026");
    EXPECT_EQ(dialogs.requests[4].initialFolder, "/out");
    EXPECT_EQ(dialogs.requests[5].initialFolder, "");
}

// Every extraction page fills in the loaded file's length, so a first run
// never cuts a 0-0 range by surprise.
TEST(PageExtract, LoadingAFileFillsInItsLength) {
    const fs::path flv = vt::test::MakeFixture(
        "gui_three_seconds.flv", "-f lavfi -i testsrc=size=64x48:rate=10:duration=3 -c:v flv1 -g 10 -an");
    const fs::path avi = vt::test::AviMpeg4Mp3();  // 2 s at 25 frames per second
    if (flv.empty() || avi.empty()) GTEST_SKIP() << "no fixtures (ffmpeg missing?)";
    struct Case {
        std::function<std::unique_ptr<CBaseExtract>()> make;
        fs::path file;
        int minMs, maxMs;
    };
    const std::vector<Case> cases = {
        {[] { return std::unique_ptr<CBaseExtract>(Make<CFLVExtract>()); }, flv, 2900, 3100},
        {[] { return std::unique_ptr<CBaseExtract>(Make<CAVIExtract>()); }, avi, 1900, 2100},
    };
    for (const Case& c : cases) {
        auto page = c.make();
        page->SetInputFile(c.file.string());
        EXPECT_EQ(page->Fields().input, c.file.string());
        EXPECT_EQ(ToMilliseconds(page->Fields().start), 0);
        const int64_t end = ToMilliseconds(page->Fields().end);
        EXPECT_GE(end, c.minMs) << c.file;
        EXPECT_LE(end, c.maxMs) << c.file;
        EXPECT_EQ(page->GetCtrlText(1087), std::to_string(page->Fields().end.seconds));
    }
}

// A run that cannot open one of its inputs names that file in its error box.
TEST(PageRun, OpenFailureBoxesNameTheFile) {
    ScopedLanguage lang(false);
    const fs::path good = vt::test::AviMpeg4Mp3();
    if (good.empty()) GTEST_SKIP() << "no fixture (ffmpeg missing?)";
    vt::test::TempDir dir;
    const fs::path bad = dir / "broken.avi";
    std::ofstream(bad) << "this is no movie at all, just some text in a file";
    const fs::path badWav = dir / "broken.wav";
    std::ofstream(badWav) << "this is no sound at all, just some text in a file";
    const fs::path badWmv = dir / "broken.wmv", badWma = dir / "broken.wma";
    const fs::path badFlv = dir / "broken.flv", badFlv2 = dir / "broken2.flv";
    for (const fs::path& p : {badWmv, badWma, badFlv, badFlv2}) std::ofstream(p) << "no media, just text";
    struct Case {
        std::function<std::unique_ptr<CBaseOpe>()> make;
        std::vector<fs::path> inputs;
        int start;
        fs::path named;
        bool typed = false;  // the input typed into its field
    };
    const std::vector<Case> cases = {
        {[] { return std::unique_ptr<CBaseOpe>(Make<CAVICutterDlg>()); }, {bad}, 1061, bad},
        {[] { return std::unique_ptr<CBaseOpe>(Make<CAVILinkerDlg>()); }, {good, bad}, 1063, bad},
        {[] { return std::unique_ptr<CBaseOpe>(Make<CWAVLinkerDlg>()); }, {badWav, good}, 1063, badWav},
        {[] { return std::unique_ptr<CBaseOpe>(Make<CAVICreatorDlg>()); }, {good, badWav}, 1063, badWav},
        // Windows Media pages (their runs end on worker threads).
        {[] { return std::unique_ptr<CBaseOpe>(Make<CWMVCutterDlg>()); }, {badWmv}, 1061, badWmv},
        {[] { return std::unique_ptr<CBaseOpe>(Make<CWMVCreatorDlg>()); }, {badWmv, badWma}, 1063, badWmv},
        {[] { return std::unique_ptr<CBaseOpe>(Make<CWMVLinkerDlg>()); }, {badWma, badWmv}, 1063, badWma},
        // An extraction page clears an input it cannot read; a path typed in afterwards is run.
        {[] { return std::unique_ptr<CBaseOpe>(Make<CWMVExtract>()); }, {badWmv}, 1063, badWmv, true},
        {[] { return std::unique_ptr<CBaseOpe>(Make<CFLVCutterDlg>()); }, {badFlv}, 1062, badFlv},
        {[] { return std::unique_ptr<CBaseOpe>(Make<CFLvLinkerDlg>()); }, {badFlv2, badFlv}, 1063, badFlv2},
        {[] { return std::unique_ptr<CBaseOpe>(Make<CFLVExtract>()); }, {badFlv}, 1063, badFlv, true},
    };
    for (const Case& c : cases) {
        BoxRecorder boxes;
        auto page = c.make();
        for (const fs::path& p : c.inputs) page->SetInputFile(p.string());
        page->OutputPath() = (dir / "out.avi").string();
        page->UpdateData(false);
        if (c.typed) test::SetText(page.get(), kIdSourceEdit, c.inputs[0].string());
        Click(page.get(), c.start);
        for (int i = 0; i < 1000 && (boxes.boxes.empty() || page->IsRunning()); ++i) QTest::qWait(10);
        ASSERT_EQ(boxes.boxes.size(), 1u) << c.named;
        EXPECT_NE(boxes.boxes[0].text.find(c.named.string()), std::string::npos) << c.named << "\n"
                                                                                 << boxes.boxes[0].text;
    }
}

}  // namespace
}  // namespace vt::gui
