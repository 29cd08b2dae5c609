#include "validate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "json_text.h"
#include "validate_check.h"
#include "validate_isolation.h"
#include "validate_variant.h"

namespace {

const char kUsage[] =
    "usage: sephost validate FILE [--factor N] [--json] [--seed S] [--include RE] [--exclude RE]\n"
    "       sephost validate --list\n"
    "Runs every conformance check on the module library FILE, each in a child process, and\n"
    "prints one line per check and \"N passed, N failed\". --factor gives the gain factor the\n"
    "reference multiplies by (default: the variant table for our libraries, else measured);\n"
    "--seed fixes the random block sizes and samples; --include and --exclude select checks\n"
    "whose names match the regular expression; --json prints one JSON document instead.\n";

struct Options {
    std::string library;
    bool list = false;
    bool json = false;
    bool factor_given = false;
    int32_t factor = 0;
    uint32_t seed = 1;
    std::string include;
    std::string exclude;
};

bool parse_number(const char* text, long long low, long long high, long long& value) {
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && value >= low && value <= high;
}

bool parse(int argc, char** argv, int first, Options& options, std::string& error) {
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        long long number = 0;
        if (arg == "--list") {
            options.list = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--factor" || arg == "--seed" || arg == "--include" ||
                   arg == "--exclude") {
            if (!has_value) {
                error = arg + " needs a value";
                return false;
            }
            const char* value = argv[++i];
            if (arg == "--factor") {
                if (!parse_number(value, INT32_MIN, INT32_MAX, number) || number == 0) {
                    error = "--factor needs a nonzero integer, not \"" + std::string(value) + "\"";
                    return false;
                }
                options.factor_given = true;
                options.factor = static_cast<int32_t>(number);
            } else if (arg == "--seed") {
                if (!parse_number(value, 0, UINT32_MAX, number)) {
                    error = "--seed needs an unsigned 32-bit integer, not \"" + std::string(value) +
                            "\"";
                    return false;
                }
                options.seed = static_cast<uint32_t>(number);
            } else {
                (arg == "--include" ? options.include : options.exclude) = value;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (options.library.empty()) {
            options.library = arg;
        } else {
            error = "more than one library given: " + arg;
            return false;
        }
    }
    if (!options.list && options.library.empty()) {
        error = "no library given";
        return false;
    }
    return true;
}

// A child's text ends its line: keep it on one.
std::string one_line(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

int list_checks() {
    for (const SeValidateCheck& check : se_validate_checks()) {
        std::printf("%-28s %s\n", check.name, check.description);
    }
    return 0;
}

int run_child(int argc, char** argv, int at) {
    // validate --child-job KIND CHECK LIBRARY FACTOR SEED
    if (argc - at < 6) {
        std::fputs("incomplete child job\n", stderr);
        return 2;
    }
    SeJob job;
    job.kind = argv[at + 1];
    job.check = argv[at + 2];
    job.library = argv[at + 3];
    job.gain_factor = static_cast<int32_t>(std::strtol(argv[at + 4], nullptr, 10));
    job.seed = static_cast<uint32_t>(std::strtoul(argv[at + 5], nullptr, 10));
    se_prepare_child();
    return se_run_job_here(job);
}

struct Outcome {
    const SeValidateCheck* check;
    SeJobResult result;
};

} // namespace

int run_validate(int argc, char** argv) {
    // argv[0] is the command word or the program path; a command word may follow the path.
    int first = 1;
    if (first < argc && std::strcmp(argv[first], "validate") == 0) {
        ++first;
    }
    if (first < argc && std::strcmp(argv[first], kChildOption) == 0) {
        return run_child(argc, argv, first);
    }
    for (int i = first; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    Options options;
    std::string error;
    if (!parse(argc, argv, first, options, error)) {
        std::fprintf(stderr, "sephost validate: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options.list) {
        return list_checks();
    }
    std::regex include;
    std::regex exclude;
    try {
        include = std::regex(options.include.empty() ? "" : options.include);
        exclude = std::regex(options.exclude.empty() ? "$^" : options.exclude);
    } catch (const std::regex_error&) {
        std::fprintf(stderr, "sephost validate: not a regular expression: %s\n",
                     (options.include + " / " + options.exclude).c_str());
        return 2;
    }

    // The factor: given, from the table by file name, or probed (identifier, else measured).
    const SeVariant* variant = se_find_variant(options.library, nullptr);
    std::string factor_source = "--factor";
    int32_t factor = options.factor;
    if (!options.factor_given && variant != nullptr) {
        factor = variant->gain_factor;
        factor_source = "variant table";
    } else if (!options.factor_given) {
        SeJob probe;
        probe.kind = "probe";
        probe.library = options.library;
        const SeJobResult probed = se_run_isolated(probe);
        if (!probed.passed) {
            std::fprintf(stderr, "sephost validate: %s: %s\n", options.library.c_str(),
                         one_line(probed.text).c_str());
            return 1;
        }
        const size_t space = probed.text.find(' ');
        variant = se_find_variant("", probed.text.substr(space + 1).c_str());
        factor = variant != nullptr ? variant->gain_factor
                                    : static_cast<int32_t>(std::atol(probed.text.c_str()));
        factor_source = variant != nullptr ? "variant table" : "measured";
    }
    const std::string version = variant != nullptr ? se_version_text(*variant) : "unknown";

    if (!options.json) {
        std::printf("library %s: factor %d (%s), version %s, seed %u\n", options.library.c_str(),
                    static_cast<int>(factor), factor_source.c_str(), version.c_str(),
                    static_cast<unsigned>(options.seed));
        std::fflush(stdout);
    }
    std::vector<Outcome> outcomes;
    int passed = 0;
    int failed = 0;
    for (const SeValidateCheck& check : se_validate_checks()) {
        if (!std::regex_search(check.name, include) || std::regex_search(check.name, exclude)) {
            continue;
        }
        SeJob job;
        job.kind = "check";
        job.check = check.name;
        job.library = options.library;
        job.gain_factor = factor;
        job.seed = options.seed;
        Outcome outcome{&check, se_run_isolated(job)};
        outcome.result.text = one_line(outcome.result.text);
        (outcome.result.passed ? passed : failed) += 1;
        if (!options.json) {
            if (outcome.result.passed) {
                std::printf("PASS  %s\n", check.name);
            } else {
                std::printf("FAIL  %s: %s\n", check.name, outcome.result.text.c_str());
            }
            std::fflush(stdout);
        }
        outcomes.push_back(outcome);
    }
    if (options.json) {
        std::printf("{\n  \"library\": %s,\n  \"factor\": %d,\n  \"factor_source\": %s,\n"
                    "  \"version\": %s,\n  \"seed\": %u,\n  \"tests\": [",
                    json_quote(options.library).c_str(), static_cast<int>(factor),
                    json_quote(factor_source).c_str(), json_quote(version).c_str(),
                    static_cast<unsigned>(options.seed));
        for (size_t k = 0; k < outcomes.size(); ++k) {
            const Outcome& o = outcomes[k];
            std::printf("%s\n    {\"name\": %s, \"result\": \"%s\", \"message\": %s}",
                        k == 0 ? "" : ",", json_quote(o.check->name).c_str(),
                        o.result.passed ? "pass" : "fail",
                        json_quote(o.result.passed ? "" : o.result.text).c_str());
        }
        std::printf("\n  ],\n  \"passed\": %d,\n  \"failed\": %d\n}\n", passed, failed);
    } else {
        std::printf("%d passed, %d failed\n", passed, failed);
    }
    return failed == 0 && passed > 0 ? 0 : 1;
}
