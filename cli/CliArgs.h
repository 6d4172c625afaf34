#pragma once
// The command line's grammar: parsing, the proposed output names, the
// output-is-an-input test and the help text. Qt-free.
#include <optional>
#include <string>
#include <vector>

#include "cli/CliOperations.h"

namespace vt {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitStopped = 3;

struct CliOptions {
    CliRequest request;
    bool quiet = false;
    std::string lang;  // "ja", "en" or empty (the environment decides)
};

struct CliParse {
    enum Status { Ok, Help, Version, UsageError } status = UsageError;
    std::string message;  // the usage error, in the current language
    CliOptions options;
};

// Parses the arguments after the program name. Texts come in the current
// language, so set the language (FindLanguageOption) first.
CliParse ParseCommandLine(const std::vector<std::string>& args);

// The value of the first --lang option ("--lang X" or "--lang=X"), before the
// arguments are parsed in full; an empty text when there is none.
std::string FindLanguageOption(const std::vector<std::string>& args);
// Makes the language the process's: LC_ALL=ja_JP.UTF-8 or en_US.UTF-8.
// False for a value other than "ja" and "en".
bool ApplyLanguage(const std::string& lang);

// The output extension of a separation (".avi"/".wav" for AVI, ".wmv"/".wma"
// for WMV, ".avi"/".mp3" for FLV); empty for other formats.
std::string SeparationExtension(int format, SeparateStream stream);

// True for the formats whose extraction page reads an end of 0 as "to the end
// of the file" (WMV, WMA, FLV).
bool EndZeroMeansToTheEnd(int format);

// The output the page would propose for the request's inputs.
std::string ProposedOutput(const CliRequest& request);

// The input that the output names (the same file, also through symbolic or
// hard links), or nothing.
std::optional<std::string> OutputNamesAnInput(const CliRequest& request);

// The --help text in the current language.
std::string HelpText();

}  // namespace vt
