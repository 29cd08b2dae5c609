#include <cstring>
#include <ostream>

#include "commands.h"

#ifdef SEPHOST_HAVE_VALIDATE
#include "validate.h"
#endif

namespace {

#ifdef SEPHOST_HAVE_VALIDATE
// run_validate takes the command name in argv[0]; argv - 1 is that word of the full command line.
int validate_command(int argc, char** argv, std::ostream&, std::ostream&) {
    return run_validate(argc + 1, argv - 1);
}
#endif

// The command table. A new command is one row here and one run_ function.
const SeCommand kCommands[] = {
    {"info", "FILE [--json]",
     "Module texts, SDK version and the pin table; for a Windows library also its export\n"
     "      table and version resource. --json prints one JSON document instead.",
     run_info},
// Registration point of the conformance run: validate.h declares
// int run_validate(int argc, char** argv); the build defines SEPHOST_HAVE_VALIDATE as soon
// as tools/sephost/validate.cpp exists.
#ifdef SEPHOST_HAVE_VALIDATE
    {"validate", "FILE [--factor N] [--json] [--seed S] [--include RE] [--exclude RE] | --list",
     "Conformance run over the binary interface; one line per test and a verdict line.\n"
     "      Exit status 0 only if every test passes. --list names the tests.",
     validate_command},
#endif
    {"render",
     "FILE IN.wav OUT.wav [--gain X | --gain-wav G.wav] [--block N] [--rate R]\n"
     "      [--format pcm16|float]",
     "Renders IN.wav through the module into OUT.wav (stereo; a mono input feeds both\n"
     "      channels). Reads and writes 16-bit PCM and 32-bit float WAV; OUT keeps IN's format\n"
     "      unless --format says otherwise. --gain sets a constant Gain aspect (default: the\n"
     "      pin's default value); --gain-wav streams it from the first channel of G.wav (held at\n"
     "      its last sample if shorter). --block is the block size (default 1024), --rate the\n"
     "      sample rate told to the module (default: IN's rate). Reports sleep requests. On\n"
     "      any error OUT.wav is not written.",
     run_render},
    {"bench", "FILE [--block N]",
     "Times the module's processing routine with all inputs streaming, in ns per stereo\n"
     "      sample at block sizes 16, 64, 256, 1024 and 4096 (or N alone), beside a memcpy of\n"
     "      the two input buffers into the two output buffers as the limit, with their ratio.",
     run_bench},
};

void print_help(std::ostream& out) {
    out << "usage: sephost COMMAND ARGS...\n"
           "A host for .sep module libraries on the command line.\n\n"
           "commands:\n";
    for (const SeCommand& command : kCommands) {
        out << "  sephost " << command.name << " " << command.usage << "\n      " << command.summary
            << "\n";
    }
    out << "  sephost --help\n      This text.\n\n"
           "Exit status: 0 success, 1 the work failed, 2 a wrong command line.\n";
}

} // namespace

int sephost_main(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (argc < 2) {
        print_help(err);
        return kExitUsage;
    }
    const char* name = argv[1];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0 ||
        std::strcmp(name, "help") == 0) {
        print_help(out);
        return kExitOk;
    }
    for (const SeCommand& command : kCommands) {
        if (std::strcmp(name, command.name) == 0) {
            return command.run(argc - 2, argv + 2, out, err);
        }
    }
    err << "sephost: unknown command '" << name << "' (sephost --help lists the commands)\n";
    return kExitUsage;
}
