#include <gtest/gtest.h>
#include <stdlib.h>

#include "core/ErrorCodes.h"
#include "core/Strings.h"

using namespace vt;

namespace {
struct LangGuard {
    explicit LangGuard(const char* lang) { setenv("LC_ALL", lang, 1); }
    ~LangGuard() { setenv("LC_ALL", "C.UTF-8", 1); }
};
}  // namespace

TEST(Language, PrimaryLanguageDecides) {
    struct Case {
        const char* lang;
        bool japanese;
    };
    for (Case c : {Case{"ja_JP.UTF-8", true}, Case{"ja", true}, Case{"ja_JP", true},
                   Case{"en_US.UTF-8", false}, Case{"de_DE", false}, Case{"zh_CN.UTF-8", false},
                   Case{"ko_KR", false}, Case{"C", false}, Case{"jav_ID", false}}) {
        LangGuard g(c.lang);
        EXPECT_EQ(IsJapanese(), c.japanese) << c.lang;
    }
}

TEST(ErrorText, TableRowsInBothLanguages) {
    struct Case {
        int code;
        const char* ja;
        const char* en;
    };
    const Case cases[] = {
        {9010, "ヘッダー読み込み失敗", "Header reading failure"},
        {-42, "バッファオーバーしました", "Buffer over"},
        {6004, "WAVでありません", "It is not WAV."},
        {103, "保存エラー\nもしくわキャンセル\nもしくわ出力パスが悪いみたい?",
         "Preservation error \n or cancellation \n or the output path is bad."},
        {1006, "ビデオがありません\nそれともDV形式でしょうか?",
         "There is no Video-Stream \n or Is this file DV-Format?\""},
        {2105, "音声ストリーム情報を取得できません", "Audio stream information acquisition failure.\""},
        {9001, "ファイルのオープン失敗", "Open failure of file\n"},
        {6005, "16ビット2チャンネルのPCMでありません", "It is not PCM of 16 bit two channel."},
        {812, "1パス目最終処理の失敗", "PRX reading failure"},
        {7, "その他のエラー", "Other Errors"},
        {-7, "その他のエラー", "Other Errors"},
        {0, "", ""},
        {-2, "", ""},
    };
    for (const auto& c : cases) {
        {
            LangGuard g("ja_JP.UTF-8");
            EXPECT_EQ(GetErrorText(c.code), c.ja) << c.code;
        }
        LangGuard g("en_US.UTF-8");
        EXPECT_EQ(GetErrorText(c.code), c.en) << c.code;
    }
}

TEST(ErrorText, EveryListedCodeHasBothTexts) {
    const int codes[] = {-42,  -41,  -6,   -5,   -4,   -3,   -1,   103,  501,  502,  601,  602,  603,  701,
                         702,  703,  800,  802,  803,  806,  807,  808,  809,  810,  811,  812,  813,  814,
                         815,  840,  841,  901,  911,  915,  1002, 1003, 1004, 1005, 1006, 1007, 1009, 1107,
                         1201, 2001, 2002, 2003, 2004, 2005, 2006, 2105, 2107, 2109, 2115, 2201, 2202, 3001,
                         3002, 3003, 3004, 3005, 3007, 3008, 4001, 4002, 4003, 4004, 5003, 5004, 5006, 5007,
                         5008, 6001, 6002, 6004, 6005, 6006, 6100, 8001, 8201, 8202, 8203, 8204, 8205, 8301,
                         8302, 9001, 9002, 9003, 9004, 9005, 9006, 9010, 9011, 9012, 9013, 9014, 9015, 9016,
                         9017, 9018, 9019, 9020, 9021, 9022, 9023, 9024, 9025};
    for (int code : codes) {
        std::string ja, en;
        {
            LangGuard g("ja_JP.UTF-8");
            ja = GetErrorText(code);
        }
        {
            LangGuard g("en_US.UTF-8");
            en = GetErrorText(code);
        }
        EXPECT_FALSE(ja.empty()) << code;
        EXPECT_FALSE(en.empty()) << code;
        EXPECT_NE(en, "Other Errors") << code;
        EXPECT_NE(ja, en) << code;
    }
}

TEST(ErrorText, CaptionAndBoxText) {
    LangGuard g("en_US.UTF-8");
    EXPECT_EQ(ErrorCaption(9010), "エラーNo.9010");
    EXPECT_EQ(ErrorCaption(103), "エラーNo.0103");
    EXPECT_EQ(ErrorCaption(-5), "エラーNo.-005");
    EXPECT_EQ(ErrorCaption(-42), "エラーNo.-042");
    EXPECT_EQ(ErrorBoxText("", 9010), "エラーNo.9010\n\nHeader reading failure");
    EXPECT_EQ(ErrorBoxText("C:/in.wav", 6004), "エラーNo.6004\n\nC:/in.wav\nIt is not WAV.");
    EXPECT_EQ(ErrorBoxText("", -2), "");
    EXPECT_EQ(ErrorBoxText("", 7), "エラーNo.0007\n\nOther Errors");
}
