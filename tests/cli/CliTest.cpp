#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "cli/CliArgs.h"
#include "cli/CliHost.h"
#include "cli/CliRun.h"
#include "tests/common/TestSupport.h"

namespace vt {
namespace {

using test::Q;
using test::TempDir;

struct Outcome {
    int status = -1;
    std::string out;  // standard output and standard error together
};

// Runs the program with the arguments (already quoted for the shell).
Outcome RunCli(const std::string& args, const std::string& env = "LC_ALL=C.UTF-8") {
    auto r = test::Run(env + " " + Q(VT_CLI_PATH) + " " + args + " 2>&1 </dev/null");
    return {r.status, r.out};
}

std::vector<std::string> Split(const std::string& s) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t sp = s.find(' ', pos);
        if (sp == std::string::npos) sp = s.size();
        if (sp > pos) out.push_back(s.substr(pos, sp - pos));
        pos = sp + 1;
    }
    return out;
}

TEST(Cli, UsageErrorsExitTwo) {
    const char* cases[] = {
        "",
        "cut a.avi",
        "--bogus join a.avi",
        "separate a.avi",
        "separate --video --audio a.avi",
        "separate --video a.avi b.avi",
        "union a.avi",
        "union a.avi b.wav c.wav",
        "join",
        "extract a.avi b.avi",
        "join a.avi --start 1",
        "join a.avi --video",
        "extract a.avi --start 1:60",
        "extract a.avi --start 5 --end 4",
        "extract a.avi --end -3",
        "separate --video a.wav",
        "union a.wma b.wma",
        "union --format flv a.flv b.mp3",
        "--format mp4 join a.avi",
        "join a.mkv b.mkv",
        "join noextension",
        "--lang fr join a.avi",
        "join a.avi -o",
        "join a.avi -o=",
        "join a.avi --output=",
        "--format avi --format wav join a.avi",
        "join a.avi -o x.avi -o y.avi",
        // A separation's output must carry the stream's extension.
        "separate --audio a.flv -o x.avi",
        "separate --audio a.avi -o x.avi",
        "separate --video a.wmv -o x.wma",
        "separate --video a.flv --output=noext",
        // An end of 0 is "to the end" only where the page says so.
        "extract a.avi --start 5 --end 0",
        "extract a.wav --start 5 --end 0",
    };
    for (const char* c : cases) {
        std::string args;
        for (const std::string& a : Split(c)) args += Q(a) + " ";
        Outcome o = RunCli(args);
        EXPECT_EQ(o.status, 2) << c << "\n" << o.out;
        EXPECT_NE(o.out.find("vantorel-cli --help"), std::string::npos) << c << "\n" << o.out;
    }
}

TEST(Cli, HelpExitsZeroInEitherLanguage) {
    Outcome en = RunCli("--help");
    EXPECT_EQ(en.status, 0);
    for (const char* word : {"separate", "union", "join", "extract", "--start", "[[H:]M:]S[.mmm]",
                             "Exit status", "Ctrl-C", "Cancel", "--lang"})
        EXPECT_NE(en.out.find(word), std::string::npos) << word;
    Outcome ja = RunCli("--lang ja join --help");
    EXPECT_EQ(ja.status, 0);
    EXPECT_NE(ja.out.find("終了コード"), std::string::npos);
    Outcome jaEnv = RunCli("-h", "LC_ALL=ja_JP.UTF-8");
    EXPECT_EQ(jaEnv.out, ja.out);
}

TEST(Cli, UsageErrorInChosenLanguage) {
    Outcome o = RunCli("--lang ja separate --video x.wav", "LC_ALL=C");
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.out.find("WAV には操作 separate がありません"), std::string::npos) << o.out;
    o = RunCli("--lang=en separate --video x.wav", "LC_ALL=ja_JP.UTF-8");
    EXPECT_NE(o.out.find("WAV has no operation separate"), std::string::npos) << o.out;
}

TEST(Cli, OutputNamingAnInputIsRefused) {
    TempDir dir;
    auto a = dir / "a.avi";
    auto b = dir / "b.avi";
    test::WriteFile(a, {'A', 'V', 'I'});
    test::WriteFile(b, {'B'});
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_symlink(a, dir / "link.avi");
    std::filesystem::create_hard_link(b, dir / "hard.avi");
    struct Case {
        std::string args;
    } cases[] = {
        {"join " + Q(a) + " " + Q(b) + " -o " + Q(a)},
        {"join " + Q(a) + " " + Q(b) + " -o " + Q(dir / "sub" / ".." / "b.avi")},
        {"join " + Q(a) + " -o " + Q(dir / "link.avi")},
        {"join " + Q(dir / "link.avi") + " -o " + Q(a)},
        {"extract " + Q(b) + " -o " + Q(dir / "hard.avi")},
        {"union " + Q(a) + " " + Q(b) + " --output=" + Q(b)},
        {"separate --video " + Q(a) + " -o " + Q(a)},
    };
    for (const Case& c : cases) {
        Outcome o = RunCli(c.args);
        EXPECT_EQ(o.status, 1) << c.args << "\n" << o.out;
        EXPECT_NE(o.out.find("one of the input files"), std::string::npos) << o.out;
    }
    EXPECT_EQ(test::ReadFile(a), (std::vector<uint8_t>{'A', 'V', 'I'}));
    EXPECT_EQ(test::ReadFile(b), (std::vector<uint8_t>{'B'}));
    Outcome ja = RunCli("--lang ja join " + Q(a) + " -o " + Q(a));
    EXPECT_EQ(ja.status, 1);
    EXPECT_NE(ja.out.find("出力ファイルが入力ファイルと同じです"), std::string::npos) << ja.out;
}

TEST(Cli, LinksNoQt) {
    auto r = test::Run("ldd " + Q(VT_CLI_PATH));
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("libc.so"), std::string::npos);
    EXPECT_EQ(r.out.find("Qt"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("qt"), std::string::npos) << r.out;
}

TEST(Cli, VersionComesFromTheProgramsOwnVersionBlock) {
    Outcome v = RunCli("--version");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "vantorel-cli " VT_VERSION_TEXT "\n");
}

CliRequest Parsed(const std::string& line) {
    CliParse p = ParseCommandLine(Split(line));
    EXPECT_EQ(p.status, CliParse::Ok) << line << ": " << p.message;
    return p.options.request;
}

TEST(Cli, RequestsAndProposedOutputs) {
    struct Case {
        const char* line;
        int page;
        const char* output;
    } cases[] = {
        {"separate --video /m/Clip.AVI", 0, "/m/Clip_cut.avi"},
        {"separate --audio /m/Clip.AVI", 0, "/m/Clip_cut.wav"},
        {"separate --audio /m/c.wmv", 6, "/m/c_cut.wma"},
        {"separate --video /m/c.wmv", 6, "/m/c_cut.wmv"},
        {"separate --video /m/c.flv", 10, "/m/c_cut.avi"},
        {"separate --audio /m/c.flv", 10, "/m/c_cut.mp3"},
        {"separate --audio --format avi /m/noext", 0, "/m/noext_cut.wav"},
        {"union /m/v.avi /m/s.WAV", 1, "/m/v_comb.avi"},
        {"union /m/v.wmv /m/s.wma", 7, "/m/v_comb.wmv"},
        {"union --format wmv /m/v /m/s.wma", 7, "/m/v_comb.wmv"},
        {"join /m/a.avi /m/b.avi", 2, "/m/a_link.avi"},
        {"--format wav join /m/a.avi /m/b.wav", 4, "/m/a_link.avi"},
        {"join /m/a.WMA /m/b.wma", 8, "/m/a_link.wma"},
        {"join /m/a.wmv", 8, "/m/a_link.wmv"},
        {"join /m/a.flv /m/b.flv", 11, "/m/a_link.flv"},
        {"extract /m/a.avi", 3, "/m/a_extr.avi"},
        {"extract /m/a.wav", 5, "/m/a_extr.wav"},
        {"extract /m/a.wma", 9, "/m/a_extr.wma"},
        {"extract /m/a.flv", 12, "/m/a_extr.flv"},
        {"join /m/a.avi -o /out/x.bin", 2, "/out/x.bin"},
        {"separate --audio /m/a.avi --output=/out/X.WAV", 0, "/out/X.WAV"},  // a fitting name is kept
        {"separate --audio /m/a.flv -o /out/x.mp3", 10, "/out/x.mp3"},
        {"join -- -odd.avi", 2, "-odd_link.avi"},
    };
    for (const Case& c : cases) {
        CliRequest r = Parsed(c.line);
        EXPECT_EQ(r.pageNumber, c.page) << c.line;
        EXPECT_EQ(r.output, c.output) << c.line;
    }
    CliRequest j = Parsed("join /m/a.avi /m/b.avi /m/a.avi");
    EXPECT_EQ(j.inputs, (std::vector<std::string>{"/m/a.avi", "/m/b.avi", "/m/a.avi"}));
    CliRequest s = Parsed("--quiet separate /m/a.flv --audio");
    EXPECT_EQ(s.stream, SeparateStream::Audio);
}

TEST(Cli, ExtractRange) {
    CliRequest r = Parsed("extract /m/a.avi");
    EXPECT_EQ(r.startMs, 0);
    EXPECT_FALSE(r.endMs);  // the family reads the input's length
    r = Parsed("extract /m/a.avi --start 1:30 --end=1:02:03.5");
    EXPECT_EQ(r.startMs, 90000);
    ASSERT_TRUE(r.endMs);
    EXPECT_EQ(*r.endMs, 3723500);
    r = Parsed("extract --start 7 /m/a.avi --end 7");
    EXPECT_EQ(r.startMs, 7000);
    EXPECT_EQ(*r.endMs, 7000);
    // The WMV, WMA and FLV pages read an end of 0 as "to the end".
    for (const char* line : {"extract /m/a.wmv --start 5 --end 0", "extract /m/a.wma --start 5 --end 0:00",
                             "extract /m/a.flv --start 1:00 --end 0"}) {
        r = Parsed(line);
        EXPECT_GT(r.startMs, 0) << line;
        ASSERT_TRUE(r.endMs) << line;
        EXPECT_EQ(*r.endMs, 0) << line;
    }
}

TEST(Cli, SeparationOutputWithAnotherExtensionIsRefusedClearly) {
    TempDir dir;
    auto in = dir / "a.flv";
    test::WriteFile(in, {'F', 'L', 'V'});
    Outcome o = RunCli("separate --audio " + Q(in) + " -o " + Q(dir / "x.avi"));
    EXPECT_EQ(o.status, 2) << o.out;
    EXPECT_NE(o.out.find("must end in .mp3"), std::string::npos) << o.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.avi"));
}

std::string ReadAll(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    return s;
}

TEST(CliHostTest, ErrorIsPrintedOnceAndEndsTheRun) {
    setenv("LC_ALL", "C.UTF-8", 1);
    std::FILE* f = std::tmpfile();
    CliHost host(false, false, f);
    host.Begin();
    host.ReportError("", 0);
    EXPECT_FALSE(host.StopRequested());
    host.ReportError("", 9010);
    host.ReportError("", 6004);
    EXPECT_TRUE(host.StopRequested());
    EXPECT_FALSE(host.StoppedByUser());
    EXPECT_EQ(ReadAll(f), "エラーNo.9010\n\nHeader reading failure\n");
    std::fclose(f);

    f = std::tmpfile();
    CliHost stopped(false, false, f);
    stopped.RequestStop();
    stopped.ReportError("", 9010);  // a failure after a stop is not reported
    EXPECT_FALSE(stopped.ErrorReported());
    EXPECT_EQ(ReadAll(f), "");
    EXPECT_FALSE(stopped.AskOkCancel("Do you discontinue it?", ""));  // not a terminal: Cancel
    std::fclose(f);
}

TEST(CliHostTest, ProgressIsThrottledAndInThePagesWords) {
    setenv("LC_ALL", "C.UTF-8", 1);
    std::FILE* f = std::tmpfile();
    CliHost host(true, false, f);
    host.Begin();
    host.ReportProgress(10);  // within the first 500 ms: nothing
    EXPECT_EQ(ReadAll(f), "");
    usleep(600 * 1000);
    host.ReportProgress(42);
    host.ReportProgress(43);  // at once again: nothing
    host.End(true);
    std::string out = ReadAll(f);
    EXPECT_NE(out.find("42 % (00:00:00/00:00:00)"), std::string::npos) << out;
    EXPECT_EQ(out.find("43 %"), std::string::npos) << out;
    EXPECT_NE(out.find("100 %\n"), std::string::npos) << out;
    std::fclose(f);
}

TEST(CliHostTest, CtrlCSetsTheStopFlag) {
    CliHost host(false, false, stderr);
    InstallInterruptHandler();
    EXPECT_FALSE(host.StopRequested());
    ::raise(SIGINT);
    EXPECT_TRUE(host.StopRequested());
    EXPECT_TRUE(host.StoppedByUser());
    CliHost::InterruptFlag() = false;
    signal(SIGINT, SIG_DFL);
}

// The exit statuses and messages of a run, with stand-ins for the families.
struct RunResult {
    int status;
    std::string err;
};

RunResult RunWith(const std::string& line, CliDispatch dispatch) {
    setenv("LC_ALL", "C.UTF-8", 1);
    testing::internal::CaptureStderr();
    int status = RunCli(Split(line), dispatch);
    return {status, testing::internal::GetCapturedStderr()};
}

CliRequest g_seen;

TEST(CliRun, ExitStatusesAndReports) {
    struct Case {
        const char* name;
        CliDispatch dispatch;
        int status;
        const char* err;  // expected standard error, exactly
    } cases[] = {
        {"success",
         [](const CliRequest& r, OperationHost&) -> OpResult {
             g_seen = r;
             return 0;
         },
         0, ""},
        {"code", [](const CliRequest&, OperationHost&) -> OpResult { return 9010; }, 1,
         "エラーNo.9010\n\nHeader reading failure\n"},
        {"reported with detail, then returned",
         [](const CliRequest&, OperationHost& h) -> OpResult {
             h.ReportError("in.wav", 6004);
             return 6004;
         },
         1, "エラーNo.6004\n\nin.wav\nIt is not WAV.\n"},
        {"returned with detail",
         [](const CliRequest&, OperationHost&) -> OpResult {
             return {6004, "in.wav"};
         },
         1, "エラーNo.6004\n\nin.wav\nIt is not WAV.\n"},
        {"silent code", [](const CliRequest&, OperationHost&) -> OpResult { return -2; }, 1, ""},
        {"reported but returned 0",
         [](const CliRequest&, OperationHost& h) -> OpResult {
             h.ReportError("", 103);
             return 0;
         },
         1, "エラーNo.0103\n\nPreservation error \n or cancellation \n or the output path is bad.\n"},
        {"Ctrl-C",
         [](const CliRequest&, OperationHost& h) -> OpResult {
             for (int i = 0; i < 1000; ++i) {
                 if (i == 3) ::raise(SIGINT);
                 if (h.Tick(i / 10.0)) return 2107;  // a failure after a stop is not shown
             }
             return 0;
         },
         3, "Stopped\n"},
    };
    for (const Case& c : cases) {
        RunResult r = RunWith("join /nonexistent/a.avi /nonexistent/b.avi", c.dispatch);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
    }
    EXPECT_EQ(g_seen.pageNumber, 2);
    EXPECT_EQ(g_seen.output, "/nonexistent/a_link.avi");
    // A quiet stop says nothing; the handler is gone after the run.
    RunResult q = RunWith("-q join /nonexistent/a.avi", cases[6].dispatch);
    EXPECT_EQ(q.status, 3);
    EXPECT_EQ(q.err, "");
    struct sigaction now {};
    sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace vt
