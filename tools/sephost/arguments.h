// Command-line parsing shared by the commands: positional arguments and --name value options.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

struct SeOptionSpec {
    const char* name; // "--block"
    bool takes_value; // false for flags such as --json
};

struct SeArguments {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options; // name, value ("" for flags)

    bool has(const std::string& name) const;
    const std::string* value(const std::string& name) const; // last one given, or null
};

// Splits argv by the command's options. An unknown option or a missing value prints one line
// to `err` (prefixed with the command's name) and returns false.
bool se_parse_arguments(const char* command, int argc, char** argv,
                        const std::vector<SeOptionSpec>& specs, SeArguments& args,
                        std::ostream& err);

// Whole-text numbers only: "12x" or "" is refused.
bool se_parse_int(const std::string& text, int32_t& value);
bool se_parse_float(const std::string& text, double& value);
