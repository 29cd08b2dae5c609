// Pin descriptions and the variables through which the host hands over its buffers.
#include <climits>
#include <cstring>
#include <random>

#include "validate_rig.h"

namespace {

struct ExpectedPin {
    const char* name;
    EDirection direction;
    const char* default_value; // null: not written
};

constexpr ExpectedPin kPins[kGainPinCount] = {
    {"In L", DR_IN, "0"},       {"In R", DR_IN, "0"},       {"Gain aspect", DR_IN, "0.1"},
    {"Out L", DR_OUT, nullptr}, {"Out R", DR_OUT, nullptr},
};

SEPinProperties prefilled() {
    SEPinProperties record;
    std::memset(&record, 0xA5, sizeof record);
    return record;
}

bool same_text(const char* got, const char* want) {
    return got != nullptr && std::strcmp(got, want) == 0;
}

bool descriptions(SeValidateContext& context, std::string& why) {
    HostInstance host(context.library);
    if (!host.created()) {
        why = "makeModule returned null";
        return false;
    }
    static const char kUntouched[] = "host text";
    for (int32_t k = 0; k < kGainPinCount; ++k) {
        SEPinProperties record = prefilled();
        record.default_value = kUntouched;
        const SEPinProperties before = record;
        const std::string pin = "pin " + std::to_string(k);
        if (host.dispatch(MOD_GET_PIN_PROPERTIES, k, 0, &record) != 1) {
            why = pin + ": MOD_GET_PIN_PROPERTIES did not answer 1";
            return false;
        }
        const ExpectedPin& want = kPins[k];
        const char* want_default = want.default_value ? want.default_value : kUntouched;
        if (!same_text(record.name, want.name)) {
            why = pin + " should be named \"" + want.name + "\"";
        } else if (record.direction != want.direction || record.datatype != DT_FSAMPLE) {
            why = pin + " (" + want.name + ") has the wrong direction or data type";
        } else if (!same_text(record.default_value, want_default)) {
            why = pin + " (" + want.name + ") " +
                  (want.default_value ? std::string("should default to \"") + want_default + "\""
                                      : std::string("overwrote the host's default_value field"));
        } else if (record.flags != before.flags || record.reserved1 != before.reserved1 ||
                   record.reserved2 != before.reserved2) {
            why = pin + " (" + want.name + ") wrote flags or reserved fields it does not describe";
        }
        if (!why.empty()) {
            return false;
        }
    }
    return true;
}

bool out_of_range(SeValidateContext& context, std::string& why) {
    HostInstance host(context.library);
    if (!host.created()) {
        why = "makeModule returned null";
        return false;
    }
    for (int32_t index : {5, 6, 100, -1, -5, INT_MAX, INT_MIN}) {
        SEPinProperties record = prefilled();
        const SEPinProperties before = record;
        const int32_t result = host.dispatch(MOD_GET_PIN_PROPERTIES, index, 0, &record);
        if (result != 0 || std::memcmp(&record, &before, sizeof record) != 0) {
            why = "MOD_GET_PIN_PROPERTIES for index " + std::to_string(index) +
                  (result != 0 ? " answered " + std::to_string(result)
                               : std::string(" wrote the record")) +
                  "; there is no such pin";
            return false;
        }
    }
    return true;
}

bool variables(SeValidateContext& context, std::string& why) {
    SeGainRig a(context, 64);
    SeGainRig b(context, 64);
    if (!a.open(why) || !b.open(why)) {
        return false;
    }
    for (int32_t k = 0; k < kGainPinCount; ++k) {
        void* variable = a.host().pin(k).properties.variable_ptr;
        if (reinterpret_cast<uintptr_t>(variable) % alignof(float*) != 0) {
            why = std::string(kGainPinNames[k]) + "'s variable is not aligned for a pointer";
            return false;
        }
        for (int32_t j = 0; j < k; ++j) {
            if (a.host().pin(j).properties.variable_ptr == variable) {
                why = std::string(kGainPinNames[j]) + " and " + kGainPinNames[k] +
                      " share one variable";
                return false;
            }
        }
        if (b.host().pin(k).properties.variable_ptr == variable) {
            why = std::string(kGainPinNames[k]) + " has the same variable in two instances";
            return false;
        }
        SEPinProperties again;
        std::memset(&again, 0, sizeof again);
        a.dispatch(MOD_GET_PIN_PROPERTIES, k, 0, &again);
        if (again.variable_ptr != variable) {
            why = std::string(kGainPinNames[k]) + "'s variable moved between two descriptions";
            return false;
        }
    }
    // The module reads the addresses the host stores; it must never write them.
    std::mt19937 random(context.seed);
    a.fill_random(random);
    if (!a.process_exact(0, 64, why)) {
        return false;
    }
    for (int32_t k = 0; k < kGainPinCount; ++k) {
        if (*static_cast<float**>(a.host().pin(k).properties.variable_ptr) != a.buffer(k)) {
            why = std::string("the module overwrote the buffer address in ") + kGainPinNames[k] +
                  "'s variable";
            return false;
        }
    }
    return true;
}

} // namespace

void se_add_pin_checks(std::vector<SeValidateCheck>& checks) {
    checks.push_back(
        {"pins.descriptions",
         "five DT_FSAMPLE pins with their names, directions and defaults; nothing else written",
         descriptions});
    checks.push_back(
        {"pins.out_of_range",
         "indexes past the last pin and negative ones answer 0 and leave the record untouched",
         out_of_range});
    checks.push_back(
        {"pins.variables",
         "each pin's variable is distinct, per instance, stable, and only read by the module",
         variables});
}
