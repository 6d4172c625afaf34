// vantorel-cli: the operations of the window's pages from the command line.
#include <string>
#include <vector>

#include "cli/CliInfo.h"
#include "cli/CliOperations.h"
#include "cli/CliRun.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (vt::IsInfoCommand(args)) return vt::RunInfoCommand(args);
    return vt::RunCli(args, vt::DispatchOperation);
}
