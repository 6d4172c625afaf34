#include "cli/CliRun.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "cli/CliArgs.h"
#include "cli/CliHost.h"
#include "core/ShellHelpers.h"
#include "core/Strings.h"
#include "core/VersionInfo.h"

namespace vt {

int RunCli(const std::vector<std::string>& args, CliDispatch dispatch) {
    // The language first, so that every text that follows is in it.
    std::string lang = FindLanguageOption(args);
    if (!lang.empty()) ApplyLanguage(lang);  // a bad value is reported by the parser

    CliParse parse = ParseCommandLine(args);
    if (parse.status == CliParse::Version) {
        const std::string version = GetFileVersionText(GetModuleFilePath());
        std::printf("vantorel-cli %s\n", version.empty() ? "(unknown version)" : version.c_str());
        return 0;
    }
    if (parse.status == CliParse::Help) {
        std::fputs(HelpText().c_str(), stdout);
        std::fflush(stdout);
        return kExitOk;
    }
    if (parse.status == CliParse::UsageError) {
        std::fprintf(stderr, "vantorel-cli: %s\n%s\n", parse.message.c_str(),
                     SelectByLanguage("詳しくは vantorel-cli --help を見てください。",
                                      "Try 'vantorel-cli --help' for more information.")
                         .c_str());
        return kExitUsage;
    }
    const CliOptions& options = parse.options;
    const CliRequest& request = options.request;

    if (OutputNamesAnInput(request)) {
        std::fprintf(stderr, "vantorel-cli: %s\n  %s\n",
                     SelectByLanguage("出力ファイルが入力ファイルと同じです。何もしませんでした:",
                                      "the output file is one of the input files; nothing was done:")
                         .c_str(),
                     request.output.c_str());
        return kExitFailed;
    }

    bool terminal = ::isatty(STDERR_FILENO) == 1;
    CliHost host(terminal && !options.quiet, terminal && ::isatty(STDIN_FILENO) == 1);
    host.SetQuiet(options.quiet);
    CliHost::InterruptFlag() = false;
    InstallInterruptHandler();
    host.Begin();
    const OpResult result = dispatch(request, host);
    ::signal(SIGINT, SIG_DFL);

    if (!host.ErrorReported() && host.StopRequested() && host.StoppedByUser()) {
        host.End(false);
        if (!options.quiet) std::fprintf(stderr, "%s\n", SelectByLanguage("停止しました", "Stopped").c_str());
        return kExitStopped;
    }
    // The one report of the run's outcome.
    host.ReportError(result.detail, result.code);
    bool failed = result.code != 0 || host.ErrorReported();
    host.End(!failed);
    return failed ? kExitFailed : kExitOk;
}

}  // namespace vt
