// The commands of sephost. Each takes the arguments after its own name and writes to the two
// streams it is given, so the tests can run a command in-process and read what it printed.
// Exit status: 0 success, 1 the work failed, 2 the command line was wrong.
#pragma once

#include <iosfwd>

using SeCommandFn = int (*)(int argc, char** argv, std::ostream& out, std::ostream& err);

struct SeCommand {
    const char* name;
    const char* usage;   // the argument synopsis after the name
    const char* summary; // the text --help prints under the usage line
    SeCommandFn run;
};

int run_info(int argc, char** argv, std::ostream& out, std::ostream& err);
int run_render(int argc, char** argv, std::ostream& out, std::ostream& err);
int run_bench(int argc, char** argv, std::ostream& out, std::ostream& err);

// The whole tool: dispatches argv[1] through the command table.
int sephost_main(int argc, char** argv, std::ostream& out, std::ostream& err);

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
