#include "cli/CliArgs.h"

#include <cstdlib>
#include <filesystem>

#include "core/ShellHelpers.h"
#include "core/Strings.h"
#include "ops/KindRules.h"
#include "ops/OutputGuard.h"

namespace vt {
namespace {

std::string T(const char* ja, const char* en) {
    return SelectByLanguage(ja, en);
}

CliParse Usage(std::string message) {
    CliParse p;
    p.status = CliParse::UsageError;
    p.message = std::move(message);
    return p;
}

// "--name value" or "--name=value"; advances i past the value.
bool TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& name, std::string* value,
               bool* missing) {
    const std::string& a = args[i];
    if (a == name) {
        if (i + 1 >= args.size()) {
            *missing = true;
            return true;
        }
        *value = args[++i];
        return true;
    }
    if (a.size() > name.size() + 1 && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=' &&
        name.size() > 2) {
        *value = a.substr(name.size() + 1);
        return true;
    }
    return false;
}

std::string FormatText(int format) {
    for (const FormatItem& f : FormatItems())
        if (f.data == format) return std::string(f.text);
    return "?";
}

}  // namespace

std::string FindLanguageOption(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") break;
        if (args[i] == "--lang") return i + 1 < args.size() ? args[i + 1] : std::string();
        if (args[i].rfind("--lang=", 0) == 0) return args[i].substr(7);
    }
    return {};
}

bool ApplyLanguage(const std::string& lang) {
    if (lang == "ja") return ::setenv("LC_ALL", "ja_JP.UTF-8", 1) == 0;
    if (lang == "en") return ::setenv("LC_ALL", "en_US.UTF-8", 1) == 0;
    return false;
}

std::string SeparationExtension(int format, SeparateStream stream) {
    bool video = stream == SeparateStream::Video;
    switch (format) {
        case kFormatAvi:
            return video ? ".avi" : ".wav";
        case kFormatWmv:
            return video ? ".wmv" : ".wma";
        case kFormatFlv:
            return video ? ".avi" : ".mp3";
        default:
            return {};
    }
}

bool EndZeroMeansToTheEnd(int format) {
    return format == kFormatWmv || format == kFormatWma || format == kFormatFlv;
}

std::string ProposedOutput(const CliRequest& r) {
    if (r.inputs.empty()) return {};
    switch (r.operation) {
        case Operation::Separate: {
            CutterFields f;
            SetInputFile(f, r.inputs[0]);
            return ReplaceExtension(f.output, SeparationExtension(r.format, r.stream));
        }
        case Operation::Union:
            return GetPathNoExt(r.inputs[0]) + std::string(kSuffixUnion) +
                   (r.format == kFormatWmv ? ".wmv" : ".avi");
        case Operation::Join: {
            LinkerFields f;
            for (const std::string& in : r.inputs) SetInputFile(f, in);
            return f.output;
        }
        case Operation::Extract: {
            ExtractFields f;
            SetInputFile(f, r.inputs[0]);
            return f.output;
        }
    }
    return {};
}

std::optional<std::string> OutputNamesAnInput(const CliRequest& r) {
    for (const std::string& in : r.inputs)
        if (vt::OutputNamesAnInput(r.output, {in})) return in;
    return std::nullopt;
}

CliParse ParseCommandLine(const std::vector<std::string>& args) {
    CliOptions o;
    std::string format, start, end, output, lang;
    bool haveFormat = false, haveStart = false, haveEnd = false, haveOutput = false;
    bool video = false, audio = false, help = false, dryRun = false, force = false, verify = false;
    std::vector<std::string> operands;
    std::string bad;  // the first usage error found

    auto fail = [&](std::string m) {
        if (bad.empty()) bad = std::move(m);
    };

    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            operands.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            help = true;
            continue;
        }
        if (a == "--version") {
            CliParse p;
            p.status = CliParse::Version;
            return p;
        }
        if (a == "--quiet" || a == "-q") {
            o.quiet = true;
            continue;
        }
        if (a == "--video") {
            video = true;
            continue;
        }
        if (a == "--audio") {
            audio = true;
            continue;
        }
        if (a == "--dry-run") {
            dryRun = true;
            continue;
        }
        if (a == "--force") {
            force = true;
            continue;
        }
        if (a == "--verify") {
            verify = true;
            continue;
        }
        std::string value;
        bool missing = false;
        struct Valued {
            const char* name;
            std::string* target;
            bool* seen;
        } valued[] = {
            {"--format", &format, &haveFormat}, {"--lang", &lang, nullptr},
            {"--start", &start, &haveStart},    {"--end", &end, &haveEnd},
            {"--output", &output, &haveOutput}, {"-o", &output, &haveOutput},
        };
        bool matched = false;
        for (const Valued& v : valued) {
            if (!TakeValue(args, i, v.name, &value, &missing)) continue;
            matched = true;
            if (missing) {
                fail(T("オプション ", "option ") + std::string(v.name) +
                     T(" に値がありません", " needs a value"));
            } else if (v.seen && *v.seen) {
                fail(T("オプション ", "option ") + std::string(v.name) +
                     T(" が二度指定されています", " is given twice"));
            } else {
                *v.target = value;
                if (v.seen) *v.seen = true;
            }
            break;
        }
        if (!matched) fail(T("不明なオプションです: ", "unknown option: ") + a);
    }

    if (help) {
        CliParse p;
        p.status = CliParse::Help;
        p.options = o;
        return p;
    }
    if (!bad.empty()) return Usage(bad);
    if (!lang.empty() && lang != "ja" && lang != "en")
        return Usage(T("--lang は ja か en です", "--lang takes ja or en"));
    o.lang = lang;

    if (operands.empty()) return Usage(T("操作を指定してください", "no operation given"));
    auto op = ParseOperationName(operands[0]);
    if (!op) return Usage(T("不明な操作です: ", "unknown operation: ") + operands[0]);
    CliRequest& r = o.request;
    r.operation = *op;
    r.inputs.assign(operands.begin() + 1, operands.end());

    if ((video || audio) && r.operation != Operation::Separate)
        return Usage(T("--video と --audio は separate だけのオプションです",
                       "--video and --audio belong to separate only"));
    if (dryRun && r.operation != Operation::Extract)
        return Usage(T("--dry-run は extract だけのオプションです", "--dry-run belongs to extract only"));
    r.dryRun = dryRun;
    if (verify && dryRun)
        return Usage(T("--verify と --dry-run は一緒に使えません (--dry-run は何も書きません)",
                       "--verify and --dry-run exclude each other (a dry run writes nothing)"));
    r.verify = verify;
    if (force && r.operation != Operation::Join)
        return Usage(T("--force は join だけのオプションです", "--force belongs to join only"));
    r.force = force;
    if ((haveStart || haveEnd) && r.operation != Operation::Extract)
        return Usage(T("--start と --end は extract だけのオプションです",
                       "--start and --end belong to extract only"));

    for (const std::string& in : r.inputs)
        if (in.empty()) return Usage(T("空のファイル名があります", "an empty file name was given"));

    switch (r.operation) {
        case Operation::Separate:
            if (video == audio)
                return Usage(T("separate には --video か --audio のどちらか一つを指定してください",
                               "separate needs exactly one of --video and --audio"));
            r.stream = video ? SeparateStream::Video : SeparateStream::Audio;
            if (r.inputs.size() != 1)
                return Usage(T("separate には入力ファイルを一つ指定してください",
                               "separate takes exactly one input file"));
            break;
        case Operation::Union:
            if (r.inputs.size() != 2)
                return Usage(T("union には映像ソースと音声ソースを指定してください",
                               "union takes a video source and an audio source"));
            break;
        case Operation::Join:
            if (r.inputs.empty())
                return Usage(
                    T("join には入力ファイルを指定してください", "join takes one or more input files"));
            break;
        case Operation::Extract:
            if (r.inputs.size() != 1)
                return Usage(T("extract には入力ファイルを一つ指定してください",
                               "extract takes exactly one input file"));
            if (haveStart) {
                auto ms = ParseCliTime(start);
                if (!ms)
                    return Usage(T("時間の書式が違います: ", "bad time: ") + start + " ([[H:]M:]S[.mmm])");
                r.startMs = *ms;
            }
            if (haveEnd) {
                auto ms = ParseCliTime(end);
                if (!ms) return Usage(T("時間の書式が違います: ", "bad time: ") + end + " ([[H:]M:]S[.mmm])");
                r.endMs = *ms;
            }
            break;
    }

    if (haveFormat) {
        auto f = ParseFormatName(format);
        if (!f) return Usage(T("不明な形式です: ", "unknown format: ") + format);
        r.format = *f;
    } else {
        auto f = FormatFromExtension(GetExtLower(r.inputs[0]));
        if (!f)
            return Usage(T("拡張子から形式が分かりません。--format を指定してください: ",
                           "cannot tell the format from the extension, use --format: ") +
                         r.inputs[0]);
        r.format = *f;
    }
    r.pageNumber = FindPageNumber(r.format, r.operation);
    if (r.pageNumber < 0)
        return Usage(FormatText(r.format) + T(" には操作 ", " has no operation ") +
                     std::string(OperationName(r.operation)) + T(" がありません", ""));

    // An end of 0 means "to the end" on the WMV, WMA and FLV pages; elsewhere
    // an end before the start is a mistake.
    if (r.endMs && *r.endMs < r.startMs && !(*r.endMs == 0 && EndZeroMeansToTheEnd(r.format)))
        return Usage(T("--end が --start より前です", "--end lies before --start"));

    if (haveOutput && output.empty())
        return Usage(T("出力ファイル名が空です", "the output file name is empty"));
    if (haveOutput && r.operation == Operation::Separate) {
        // The separation's output extension says what the file holds: a name
        // with another extension would put one stream's bytes under another
        // format's name.
        std::string ext = SeparationExtension(r.format, r.stream);
        const std::string option = r.stream == SeparateStream::Video ? "--video" : "--audio";
        // FLV audio is MP3 or, for AAC, an ADTS stream: either name is taken,
        // and the run gives the file the extension of what it holds.
        const bool flvAudio = r.format == kFormatFlv && r.stream == SeparateStream::Audio;
        if (flvAudio && GetExtLower(output) == ".aac") ext = ".aac";
        if (GetExtLower(output) != ext) {
            if (flvAudio) ext = ".mp3 / .aac";
            return Usage(SelectByLanguage(
                "separate " + option + " の出力ファイル名は " + ext + " で終わる必要があります: " + output,
                "separate " + option + " writes a " + ext + " file; the output name must end in " + ext +
                    ": " + output));
        }
    }
    r.output = haveOutput ? output : ProposedOutput(r);

    CliParse p;
    p.status = CliParse::Ok;
    p.options = std::move(o);
    return p;
}

std::string HelpText() {
    return T(
        "使い方: vantorel-cli [--format avi|wav|wmv|wma|flv] [--lang ja|en] [--quiet] [--verify] 操作 "
        "[オプション] "
        "ファイル...\n"
        "\n"
        "動画や音声を再エンコードせずに分離・合体・連結・区間抽出します。\n"
        "\n"
        "操作:\n"
        "  separate (--video | --audio) 入力 [-o 出力]     映像音声分離    AVI, WMV, FLV\n"
        "  union 映像ソース 音声ソース [-o 出力]           映像音声合体    AVI, WMV\n"
        "  join ファイル... [--force] [-o 出力]            ファイル連結    AVI, WAV, WMV, WMA, FLV\n"
        "  extract 入力 [--start 時間] [--end 時間] [--dry-run] [-o 出力]  区間抽出  AVI, WAV, WMV, WMA, "
        "FLV\n"
        "  info [--json] [--keyframes] ファイル...          ファイルの中身 (形式, 長さ, ストリーム, "
        "キーフレーム)\n"
        "\n"
        "オプション:\n"
        "  --format F   形式 (avi, wav, wmv, wma, flv)。省略時は最初の入力ファイルの拡張子から決めます。\n"
        "               例えば AVI ファイルの音声を WAV として連結するには --format wav を付けます。\n"
        "  --lang L     表示言語 (ja または en)。省略時は LC_ALL, LC_MESSAGES, LANG に従います。\n"
        "  --quiet, -q  進行状況を表示しません。\n"
        "  -o, --output 出力  出力ファイル。省略時はウィンドウと同じ名前を使います:\n"
        "               入力名 + \"_cut\" (分離; 拡張子は映像 .avi/.wmv、音声 .wav/.wma/.mp3、\n"
        "               FLV の AAC 音声は .aac),\n"
        "               映像ソース名 + \"_comb\" + .avi/.wmv (合体), 最初のファイル名 + \"_link\" (連結),\n"
        "               入力名 + \"_extr\" (抽出)。既存の出力ファイルは上書きされます。\n"
        "               分離の出力ファイル名はその拡張子で終わる必要があります。\n"
        "               入力ファイルと同じファイルは指定できません。\n"
        "  --video, --audio  separate で書き出すストリーム。\n"
        "  --start 時間, --end 時間  extract の範囲。時間は [[時:]分:]秒[.ミリ秒] (例 1:02:03.500)。\n"
        "               --start の省略時は 0、--end の省略時はファイルの終わりです。\n"
        "               WMV, WMA, FLV ではウィンドウと同じく --end 0 もファイルの終わりです。\n"
        "  --force      join: AVI と WAV で最初のファイルと形式 (映像の圧縮形式・サイズ・フレームレート、\n"
        "               音声の形式) の違うファイルも連結します。付けなければ違いを示して終了コード 1 で\n"
        "               断ります。\n"
        "  --dry-run    extract: 実際の区間 (キーフレームへ戻した開始, 切り詰めた終わり)、\n"
        "               書き込むパケット数とバイト数を表示し、何も書きません。\n"
        "  --verify     成功した操作の出力を自前の読み込み部で読み直し、ストリームごとに順に、\n"
        "               操作が写すはずの入力のパケット (抽出では実際に始まるキーフレームから) と\n"
        "               比べます: パケットごとの大きさと内容の 64 ビットハッシュ、映像のキーフレーム\n"
        "               フラグ (WMV/WMA ではすべてのストリーム)。固定サンプル長の AVI 音声と WAV は\n"
        "               データのバイト列を 64 KiB ごとに、FLV から AVI に分離した映像は書いたとおりの\n"
        "               フレーム (AVC はスタートコード形式) で比べ、時間を保つ空のフレームは数えるだけ\n"
        "               です。FLV の音声は MP3 のバイト列か ADTS フレームで比べます。時刻・ヘッダー・\n"
        "               メタデータは比べません。\"verified: N video and M audio packets identical to\n"
        "               the inputs\" に当たる文を表示し、違いがあれば最初の違い (ストリーム、1 から\n"
        "               数えたパケット番号、内容・キーフラグ・不足・余分) を示して終了コード 1 で\n"
        "               終わります。\n"
        "  --json       info: スクリプト向けの JSON (ファイルごとに一つのオブジェクトの配列)。キー:\n"
        "               file, container (avi/wav/asf/flv), size (バイト), duration (秒, ミリ秒精度),\n"
        "               stated_duration (FLV のメタデータの長さがフレームと食い違うときだけ),\n"
        "               key_frames, streams[]: index, type (video/audio/other), codec, codec_tag,\n"
        "               width, height, frame_rate (映像), sample_rate, channels, bits_per_sample (音声),\n"
        "               bit_rate (bit/s), packets, duration, key_frames, key_frame_times (映像)。\n"
        "               読めないファイルは file, error (エラー番号), message。\n"
        "  --keyframes  info: キーフレームの時刻 (秒) も表示します。\n"
        "  --help, -h   この説明を表示します。\n"
        "  --version    版を表示します。\n"
        "\n"
        "端末では進行状況を標準エラーに \"42 % (00:01:10／00:01:36)\" の形で表示します (0.5 秒ごと)。\n"
        "失敗するとエラーボックスと同じ文 (\"エラーNo.NNNN\" とメッセージ) を標準エラーに出します。\n"
        "確認の質問 (OK/キャンセル) は端末では y/N で答えます。端末でなければキャンセルを選びます。\n"
        "Ctrl-C は停止ボタンと同じく処理を止めます。もう一度押すと直ちに終了します。\n"
        "\n"
        "終了コード: 0 成功, 1 処理の失敗, 2 使い方の誤り, 3 Ctrl-C で停止\n",
        "Usage: vantorel-cli [--format avi|wav|wmv|wma|flv] [--lang ja|en] [--quiet] [--verify] OPERATION "
        "[options] "
        "FILE...\n"
        "\n"
        "Cuts, joins and combines movie and sound files without re-encoding them.\n"
        "\n"
        "Operations:\n"
        "  separate (--video | --audio) INPUT [-o OUTPUT]       video or audio into a file   AVI, WMV, FLV\n"
        "  union VIDEO AUDIO [-o OUTPUT]                         video + audio into one movie AVI, WMV\n"
        "  join FILE... [--force] [-o OUTPUT]                    files joined in order        AVI, WAV, WMV, "
        "WMA, FLV\n"
        "  extract INPUT [--start T] [--end T] [--dry-run] [-o OUTPUT]  a time range          AVI, WAV, WMV, "
        "WMA, FLV\n"
        "  info [--json] [--keyframes] FILE...                   what files hold              AVI, WAV, WMV, "
        "WMA, FLV\n"
        "\n"
        "Options:\n"
        "  --format F   the format (avi, wav, wmv, wma, flv); by default the first input's\n"
        "               extension decides. Joining the audio of AVI files into a WAV file,\n"
        "               for example, needs --format wav.\n"
        "  --lang L     the language of all texts (ja or en); by default LC_ALL, LC_MESSAGES\n"
        "               and LANG decide.\n"
        "  --quiet, -q  no progress display.\n"
        "  -o, --output OUTPUT  the output file. By default the name the window proposes:\n"
        "               the input + \"_cut\" (separate; extension .avi/.wmv for video,\n"
        "               .wav/.wma/.mp3 for audio, .aac for the AAC audio of FLV files),\n"
        "               the video source + \"_comb\" + .avi/.wmv\n"
        "               (union), the first file + \"_link\" (join), the input + \"_extr\"\n"
        "               (extract). A separation's output must end in its extension.\n"
        "               An existing output file is replaced. The output may not\n"
        "               be one of the inputs (refused, nothing is deleted).\n"
        "  --video, --audio  the stream that separate writes.\n"
        "  --start T, --end T  the range of extract; T is [[H:]M:]S[.mmm], e.g. 1:02:03.500.\n"
        "               --start defaults to 0, --end to the end of the input; for WMV,\n"
        "               WMA and FLV, as in the window, --end 0 also means the end.\n"
        "  --force      join: join AVI and WAV files that differ from the first file\n"
        "               (video compression, frame size or rate, audio format); without it\n"
        "               such a join is refused with the differences and exit status 1.\n"
        "  --dry-run    extract: print the real section (the start moved back to its\n"
        "               key frame, the end as clamped), the packets and bytes it would\n"
        "               write, and write nothing.\n"
        "  --verify     after a successful run, read the output back with our own\n"
        "               readers and compare its packets, stream by stream and in order,\n"
        "               with the inputs' packets the operation meant to copy (from the\n"
        "               key frame an extraction really begins at): each packet's size\n"
        "               and a 64-bit hash of its bytes, and the key-frame flag of video\n"
        "               (of every stream for WMV/WMA). AVI audio of a fixed sample size\n"
        "               and WAV audio are compared as their data bytes in 64 KiB blocks;\n"
        "               FLV video separated into AVI as the frames written (AVC with\n"
        "               start codes), its empty timing frames counted, not compared; FLV\n"
        "               audio as the MP3 bytes or the ADTS frames. Times, headers and\n"
        "               metadata are not compared. Prints \"verified: N video and M audio\n"
        "               packets identical to the inputs\", or names the first difference\n"
        "               (stream, packet number from 1, what differs: bytes, key flag,\n"
        "               missing, extra) and exits with status 1.\n"
        "  --json       info: a JSON document for scripts, an array of one object per\n"
        "               file. Keys: file, container (avi/wav/asf/flv), size (bytes),\n"
        "               duration (seconds, to the millisecond), stated_duration (only\n"
        "               when an FLV's metadata states a duration its frames do not\n"
        "               reach or pass), key_frames, streams[]:\n"
        "               index, type (video/audio/other), codec, codec_tag, width, height,\n"
        "               frame_rate (video), sample_rate, channels, bits_per_sample\n"
        "               (audio), bit_rate (bits/s), packets, duration, key_frames and\n"
        "               key_frame_times (video). A file that cannot be read: file,\n"
        "               error (the error number), message.\n"
        "  --keyframes  info: the key frames' times (seconds) too.\n"
        "  --help, -h   this text.\n"
        "  --version    the program's version.\n"
        "\n"
        "On a terminal, progress shows on standard error as \"42 % (00:01:10/00:01:36)\",\n"
        "updated every half second. A failure prints the error box's text (\"エラーNo.NNNN\"\n"
        "and the message) on standard error. A question (OK/Cancel) is asked as y/N when\n"
        "standard input and standard error are terminals; otherwise it is answered Cancel.\n"
        "Ctrl-C stops the operation like the Stop button; a second Ctrl-C ends the program\n"
        "at once.\n"
        "\n"
        "Exit status: 0 success, 1 the operation failed, 2 usage error, 3 stopped by\n"
        "Ctrl-C.\n");
}

}  // namespace vt
