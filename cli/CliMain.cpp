// vantorel-cli: the operations of the window's pages from the command line.
#include <string>
#include <vector>

#include "cli/CliOperations.h"
#include "cli/CliRun.h"

int main(int argc, char** argv) {
    return vt::RunCli(std::vector<std::string>(argv + 1, argv + argc), vt::DispatchOperation);
}
