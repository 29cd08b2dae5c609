#include "arguments.h"

#include <cerrno>
#include <cstdlib>
#include <ostream>

bool SeArguments::has(const std::string& name) const {
    return value(name) != nullptr;
}

const std::string* SeArguments::value(const std::string& name) const {
    const std::string* found = nullptr;
    for (const auto& option : options) {
        if (option.first == name) {
            found = &option.second;
        }
    }
    return found;
}

bool se_parse_arguments(const char* command, int argc, char** argv,
                        const std::vector<SeOptionSpec>& specs, SeArguments& args,
                        std::ostream& err) {
    for (int k = 0; k < argc; ++k) {
        const std::string word = argv[k];
        if (word.size() < 2 || word[0] != '-') {
            args.positional.push_back(word);
            continue;
        }
        const SeOptionSpec* spec = nullptr;
        for (const SeOptionSpec& candidate : specs) {
            if (word == candidate.name) {
                spec = &candidate;
            }
        }
        if (spec == nullptr) {
            err << "sephost " << command << ": unknown option '" << word
                << "' (sephost --help lists the options)\n";
            return false;
        }
        if (!spec->takes_value) {
            args.options.emplace_back(word, "");
        } else if (k + 1 < argc) {
            args.options.emplace_back(word, argv[++k]);
        } else {
            err << "sephost " << command << ": option '" << word << "' needs a value\n";
            return false;
        }
    }
    return true;
}

bool se_parse_int(const std::string& text, int32_t& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || parsed < INT32_MIN || parsed > INT32_MAX) {
        return false;
    }
    value = static_cast<int32_t>(parsed);
    return true;
}

bool se_parse_float(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0' && errno == 0;
}
