#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "ops/KindRules.h"

namespace vt {
namespace {

TEST(KindRules, DefaultNamesOfSeparationExtractionAndConnection) {
    struct Case {
        const char* path;
        const char* cut;
        const char* extr;
        const char* link;
    } cases[] = {
        {"/a/Movie.AVI", "/a/Movie_cut.avi", "/a/Movie_extr.avi", "/a/Movie_link.avi"},
        {"/a/noext", "/a/noext_cut", "/a/noext_extr", "/a/noext_link"},
        {"/a.b/noext", "/a.b/noext_cut", "/a.b/noext_extr", "/a.b/noext_link"},
        {"rel.tar.Wmv", "rel.tar_cut.wmv", "rel.tar_extr.wmv", "rel.tar_link.wmv"},
    };
    for (const Case& c : cases) {
        CutterFields cut;
        SetInputFile(cut, c.path);
        EXPECT_EQ(cut.input, c.path);
        EXPECT_EQ(cut.output, c.cut);
        ExtractFields ex;
        ex.start.minutes = 3;
        SetInputFile(ex, c.path);
        EXPECT_EQ(ex.input, c.path);
        EXPECT_EQ(ex.output, c.extr);
        EXPECT_EQ(ex.start.minutes, 3);  // the kind leaves the range alone
        LinkerFields link;
        SetInputFile(link, c.path);
        EXPECT_EQ(link.output, c.link);
    }
}

TEST(KindRules, UnionSortsByAudioExtension) {
    // Either order of the two files gives the same fields.
    for (bool audioFirst : {false, true}) {
        CreatorFields f;
        if (audioFirst) AssignSourceFile(f, "/d/s.WAV", ".avi", ".wav");
        AssignSourceFile(f, "/d/v.avi", ".avi", ".wav");
        if (!audioFirst) AssignSourceFile(f, "/d/s.WAV", ".avi", ".wav");
        EXPECT_EQ(f.videoSource, "/d/v.avi");
        EXPECT_EQ(f.audioSource, "/d/s.WAV");
        EXPECT_EQ(f.output, "/d/v_comb.avi");
    }
    CreatorFields wm;
    AssignSourceFile(wm, "/d/clip.WMV", ".wmv", ".wma");
    AssignSourceFile(wm, "/d/a.wma", ".wmv", ".wma");
    EXPECT_EQ(wm.output, "/d/clip_comb.wmv");
    EXPECT_EQ(wm.audioSource, "/d/a.wma");
    // Anything that is not the audio extension is a video source.
    AssignSourceFile(wm, "/d/other.mp4", ".wmv", ".wma");
    EXPECT_EQ(wm.videoSource, "/d/other.mp4");
    EXPECT_EQ(wm.output, "/d/other_comb.wmv");
}

TEST(KindRules, ConnectionListDelAndReset) {
    LinkerFields f;
    SetInputFile(f, "/x/one.avi");
    SetInputFile(f, "/x/two.avi");
    SetInputFile(f, "/x/one.avi");  // duplicates allowed
    EXPECT_EQ(f.files, (std::vector<std::string>{"/x/one.avi", "/x/two.avi", "/x/one.avi"}));
    EXPECT_EQ(f.output, "/x/one_link.avi");

    RemoveEntry(f, -1);  // no selection
    RemoveEntry(f, 3);
    EXPECT_EQ(f.files.size(), 3u);
    RemoveEntry(f, 0);
    EXPECT_EQ(f.output, "/x/one_link.avi");  // only an empty list clears it
    RemoveEntry(f, 0);
    RemoveEntry(f, 0);
    EXPECT_TRUE(f.files.empty());
    EXPECT_EQ(f.output, "");

    SetInputFile(f, "/y/a.flv");
    SetInputFile(f, "/y/b.flv");
    ResetList(f);
    EXPECT_TRUE(f.files.empty());
    EXPECT_EQ(f.output, "");
    SetInputFile(f, "/y/b.flv");
    EXPECT_EQ(f.output, "/y/b_link.flv");
}

TEST(KindRules, TimeFieldChecksInExchangeOrder) {
    setenv("LC_ALL", "C", 1);
    struct Case {
        TimeField field;
        int value;
        bool ok;
        const char* message;
    } cases[] = {
        {TimeField::StartMinutes, 60, false, "Please enter an integer between 0 and 59."},
        {TimeField::StartMinutes, 59, true, ""},
        {TimeField::EndSeconds, 60, false, "Please enter an integer between 0 and 59."},
        {TimeField::StartMilliseconds, 1000, false, "Please enter an integer between 0 and 999."},
        {TimeField::EndMilliseconds, 999, true, ""},
        {TimeField::EndHours, -1, false, "Please enter an integer between 0 and 2147483647."},
        {TimeField::StartHours, INT_MAX, true, ""},
    };
    for (const Case& c : cases) {
        ExtractFields f;
        TimeFieldValue(f, c.field) = c.value;
        auto err = CheckTimeFields(f);
        EXPECT_EQ(!err, c.ok) << int(c.field);
        if (err) {
            EXPECT_EQ(err->field, c.field);
            EXPECT_EQ(err->message, c.message);
        }
    }
    // Several bad fields: the first in exchange order (start hours first).
    ExtractFields f;
    f.end.minutes = 99;
    f.start.milliseconds = 1000;
    ASSERT_TRUE(CheckTimeFields(f));
    EXPECT_EQ(CheckTimeFields(f)->field, TimeField::StartMilliseconds);
    EXPECT_EQ(GetTimeFieldSpec(TimeField::StartHours).editId, 1081);
    EXPECT_EQ(GetTimeFieldSpec(TimeField::EndMilliseconds).editId, 1088);

    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(RangeMessage(0, 59), "0 から 59 までの整数を入力してください。");
    setenv("LC_ALL", "C.UTF-8", 1);
}

TEST(KindRules, IntFieldText) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    } cases[] = {
        {"125", true, 125},
        {" 7 ", true, 7},
        {"-3", true, -3},
        {"", false, 0},
        {"1.5", false, 0},
        {"12a", false, 0},
        {"2147483647", true, INT_MAX},
        {"2147483648", false, 0},
        {"-2147483648", true, INT_MIN},
        {"99999999999999999999", false, 0},
        {"-", false, 0},
    };
    for (const Case& c : cases) {
        int v = 0;
        EXPECT_EQ(ParseIntField(c.text, &v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST(KindRules, TimeFieldTyping) {
    // Typing "1", "2", ".", "5" leaves 125.
    std::string field;
    for (char c : std::string("12.5-a"))
        if (IsTimeFieldCharAccepted(uint8_t(c))) field += c;
    EXPECT_EQ(field, "125");
    EXPECT_TRUE(IsTimeFieldCharAccepted(8));
    EXPECT_TRUE(IsTimeFieldCharAccepted(9));
    EXPECT_FALSE(IsTimeFieldCharAccepted(0xFF11));  // full-width digit one
}

TEST(KindRules, MillisecondsBothWays) {
    EXPECT_EQ(ToMilliseconds({1, 2, 3, 4}), 3723004);
    // The largest hour field does not overflow.
    EXPECT_EQ(ToMilliseconds({INT_MAX, 59, 59, 999}), int64_t(INT_MAX) * 3600000 + 3599999);
    TimeFields t = FromMilliseconds(3723004);
    EXPECT_EQ(t.hours, 1);
    EXPECT_EQ(t.minutes, 2);
    EXPECT_EQ(t.seconds, 3);
    EXPECT_EQ(t.milliseconds, 4);
    EXPECT_EQ(ToMilliseconds(FromMilliseconds(-5)), 0);
    EXPECT_EQ(FormatCliTime(3723004), "1:02:03.004");
}

TEST(KindRules, CliTimeGrammar) {
    struct Case {
        const char* text;
        int64_t ms;  // -1: refused
    } cases[] = {
        {"0", 0},
        {"5", 5000},
        {"90", 90000},  // seconds alone may exceed a minute
        {"1:30", 90000},
        {"1:02:03", 3723000},
        {"1:02:03.004", 3723004},
        {"1.5", 1500},
        {"1.05", 1050},
        {"0.999", 999},
        {"75:00", 4500000},  // a leading minute part may exceed an hour
        {"", -1},
        {"1:", -1},
        {":5", -1},
        {"1:60", -1},
        {"1:60:00", -1},
        {"1:2:3:4", -1},
        {"1.", -1},
        {"1.1234", -1},
        {"-1", -1},
        {"+1", -1},
        {" 1", -1},
        {"1s", -1},
        {"1.2.3", -1},
        {"99999999999999999999", -1},
    };
    for (const Case& c : cases) {
        auto got = ParseCliTime(c.text);
        if (c.ms < 0) {
            EXPECT_FALSE(got) << c.text;
        } else {
            ASSERT_TRUE(got) << c.text;
            EXPECT_EQ(*got, c.ms) << c.text;
        }
    }
    // The largest time the fields hold parses; one millisecond more does not.
    EXPECT_EQ(ParseCliTime("2147483647:59:59.999"), ToMilliseconds({INT_MAX, 59, 59, 999}));
    EXPECT_FALSE(ParseCliTime("2147483648:00:00"));
}

TEST(KindRules, SeparationExtensionReplacement) {
    EXPECT_EQ(ReplaceExtension("/out/a_cut.avi", ".wav"), "/out/a_cut.wav");
    EXPECT_EQ(ReplaceExtension("/out/a_cut", ".avi"), "/out/a_cut.avi");
}

}  // namespace
}  // namespace vt
