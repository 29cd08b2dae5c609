// What every validation check sees, and the table of checks. A check drives a freshly loaded
// library in a child process; it returns true when the library honours the contract, or false
// with one line saying what it did wrong.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library.h"

struct SeValidateContext {
    SeLibrary library;
    int32_t gain_factor = 0; // the factor the reference multiplies by
    uint32_t seed = 1;       // for the random block sizes and sample values
};

using SeValidateFn = bool (*)(SeValidateContext& context, std::string& why);

struct SeValidateCheck {
    const char* name;        // "group.check", stable: --include and --exclude match it
    const char* description; // one line for --list
    SeValidateFn run;
};

// Every check, in the order they run, grouped by the prefix of their names.
const std::vector<SeValidateCheck>& se_validate_checks();

// The groups, one file each.
void se_add_loading_checks(std::vector<SeValidateCheck>& checks);
void se_add_lifecycle_checks(std::vector<SeValidateCheck>& checks);
void se_add_pin_checks(std::vector<SeValidateCheck>& checks);
void se_add_processing_checks(std::vector<SeValidateCheck>& checks);
void se_add_state_checks(std::vector<SeValidateCheck>& checks);
void se_add_config_checks(std::vector<SeValidateCheck>& checks);
void se_add_bad_input_checks(std::vector<SeValidateCheck>& checks);
