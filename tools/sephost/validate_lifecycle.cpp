// Instance lifecycle: many create/open/close cycles, instances that never open, two instances
// side by side, and a second MOD_OPEN.
#include <cstring>
#include <random>

#include "validate_rig.h"

namespace {

int32_t SE_CALL five_pin_host(SEMod_struct_base2*, int32_t opcode, int32_t, int32_t, void*, float) {
    return opcode == HOST_GET_PIN_COUNT ? kGainPinCount : 0;
}

// One cycle with the least a host can do: describe, bind, open, process, close.
bool one_cycle(SeValidateContext& context, float (&buffers)[kGainPinCount][16], bool check,
               std::string& why) {
    SEMod_struct_base2* record = context.library.make_module(0, 1, five_pin_host, nullptr);
    if (record == nullptr) {
        why = "makeModule returned null";
        return false;
    }
    for (int32_t k = 0; k < kGainPinCount; ++k) {
        SEPinProperties properties;
        std::memset(&properties, 0, sizeof properties);
        if (record->dispatcher_ptr(record, MOD_GET_PIN_PROPERTIES, k, 0, &properties, 0.0f) != 1 ||
            properties.variable_ptr == nullptr) {
            why = "pin " + std::to_string(k) + " has no description with a variable";
            record->dispatcher_ptr(record, MOD_CLOSE, 0, 0, nullptr, 0.0f);
            return false;
        }
        *static_cast<float**>(properties.variable_ptr) = buffers[k];
    }
    record->dispatcher_ptr(record, MOD_OPEN, 0, 0, nullptr, 0.0f);
    record->sub_process_ptr(record->object_ptr, 0, 16);
    if (check) {
        for (int32_t i = 0; i < 16; ++i) {
            const float left =
                se_reference(buffers[PIN_IN_L][i], buffers[PIN_GAIN][i], context.gain_factor);
            const float right =
                se_reference(buffers[PIN_IN_R][i], buffers[PIN_GAIN][i], context.gain_factor);
            if (se_bits(buffers[PIN_OUT_L][i]) != se_bits(left) ||
                se_bits(buffers[PIN_OUT_R][i]) != se_bits(right)) {
                why = "Out L or Out R[" + std::to_string(i) + "] differs from the reference";
                record->dispatcher_ptr(record, MOD_CLOSE, 0, 0, nullptr, 0.0f);
                return false;
            }
        }
    }
    const int32_t closed = record->dispatcher_ptr(record, MOD_CLOSE, 0, 0, nullptr, 0.0f);
    if (closed != 1) {
        why = "MOD_CLOSE answered " + std::to_string(closed) + ", not 1";
        return false;
    }
    return true;
}

bool cycles(SeValidateContext& context, std::string& why) {
    float buffers[kGainPinCount][16];
    std::mt19937 random(context.seed);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    for (int32_t cycle = 0; cycle < 10000; ++cycle) {
        const bool check = cycle % 1000 == 0 || cycle == 9999;
        if (check) {
            for (auto& pin : buffers) {
                for (float& s : pin) {
                    s = sample(random);
                }
            }
        }
        if (!one_cycle(context, buffers, check, why)) {
            why = "cycle " + std::to_string(cycle + 1) + " of 10000: " + why;
            return false;
        }
    }
    return true;
}

bool close_unopened(SeValidateContext& context, std::string& why) {
    for (int32_t k = 0; k < 100; ++k) {
        SEMod_struct_base2* record = context.library.make_module(0, 1, five_pin_host, nullptr);
        if (record == nullptr) {
            why = "makeModule returned null";
            return false;
        }
        if (record->dispatcher_ptr(record, MOD_CLOSE, 0, 0, nullptr, 0.0f) != 1) {
            why = "MOD_CLOSE of an instance that was never opened did not answer 1";
            return false;
        }
    }
    return true;
}

bool idle_before_open(SeValidateContext& context, std::string& why) {
    SeGainRig rig(context, 64);
    if (!rig.describe(why)) {
        return false;
    }
    std::mt19937 random(context.seed);
    rig.fill_random(random);
    // Before MOD_OPEN the routine is the idle one: processing writes nothing.
    rig.process(0, 64);
    for (int32_t i = 0; i < 64; ++i) {
        if (se_bits(rig.buffer(PIN_OUT_L)[i]) != kSentinelBits ||
            se_bits(rig.buffer(PIN_OUT_R)[i]) != kSentinelBits) {
            why = "the routine of an instance that is not open yet wrote Out[" + std::to_string(i) +
                  "]";
            return false;
        }
    }
    return true;
}

bool two_instances(SeValidateContext& context, std::string& why) {
    SeGainRig a(context, 256);
    SeGainRig b(context, 256);
    if (!a.open(why) || !b.open(why)) {
        return false;
    }
    std::mt19937 random(context.seed);
    // A turns static and asks for sleep; B keeps streaming and must neither sleep nor change.
    a.fill_input(PIN_IN_L, 0.5f);
    a.fill_input(PIN_IN_R, 0.25f);
    a.fill_input(PIN_GAIN, 0.5f);
    for (int32_t pin : {PIN_IN_L, PIN_IN_R, PIN_GAIN}) {
        a.deliver_state(pin, STATE_STOPPED);
    }
    for (int32_t block = 0; block < 4; ++block) {
        a.fill_outputs_with_sentinel();
        b.fill_random(random);
        if (!b.process_exact(0, 256, why)) {
            why = "instance B, while A runs static: " + why;
            return false;
        }
        if (!a.process_exact(0, 256, why)) {
            why = "instance A, interleaved with B: " + why;
            return false;
        }
    }
    if (b.host().sleep_requests() != 0 || !b.host().announced(PIN_OUT_L).empty()) {
        why = "the state change of instance A reached instance B";
        return false;
    }
    if (a.host().sleep_requests() == 0) {
        why = "instance A, static for four blocks, never asked for sleep";
        return false;
    }
    return true;
}

bool second_open(SeValidateContext& context, std::string& why) {
    SeGainRig rig(context, 128);
    if (!rig.open(why)) {
        return false;
    }
    rig.dispatch(MOD_OPEN);
    std::mt19937 random(context.seed);
    rig.fill_random(random);
    if (!rig.process_exact(0, 128, why)) {
        why = "after a second MOD_OPEN: " + why;
        return false;
    }
    rig.host().clear_log();
    rig.deliver_state(PIN_IN_L, STATE_RUNNING);
    if (rig.host().announced(PIN_OUT_L).empty()) {
        why = "after a second MOD_OPEN a pin-status event announces no output state";
        return false;
    }
    return true;
}

} // namespace

void se_add_lifecycle_checks(std::vector<SeValidateCheck>& checks) {
    checks.push_back({"lifecycle.cycles",
                      "10000 create, open, process, close cycles; MOD_CLOSE answers 1", cycles});
    checks.push_back({"lifecycle.close_unopened", "an instance closed without MOD_OPEN answers 1",
                      close_unopened});
    checks.push_back({"lifecycle.idle_before_open",
                      "before MOD_OPEN the processing entry writes nothing", idle_before_open});
    checks.push_back({"lifecycle.two_instances",
                      "two instances compute independently, one static while the other streams",
                      two_instances});
    checks.push_back(
        {"lifecycle.second_open", "a second MOD_OPEN leaves a working instance", second_open});
}
