#pragma once
// The whole command line as a function: parse, check, run through the given
// dispatcher, report, and return the exit status. Qt-free.
#include <string>
#include <vector>

#include "cli/CliOperations.h"

namespace vt {

using CliDispatch = OpResult (*)(const CliRequest& request, OperationHost& host);

// `args` are the arguments after the program name. Sets the process's
// language when --lang is given and installs the Ctrl-C handler for the run.
int RunCli(const std::vector<std::string>& args, CliDispatch dispatch);

}  // namespace vt
