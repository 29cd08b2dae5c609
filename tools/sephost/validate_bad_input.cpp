// Bad host input: opcodes the contract does not define, null and out-of-range arguments, events
// for pins that do not exist and event types without meaning. The instance must answer 0 or
// ignore them, and go on computing exactly.
#include <climits>
#include <random>

#include "validate_rig.h"

namespace {

// After the bad input: same routine, no announcement, exact output.
bool still_exact(SeGainRig& rig, SeProcessFn routine, const std::string& what, std::string& why) {
    if (rig.record()->sub_process_ptr != routine) {
        why = what + " changed the processing routine";
        return false;
    }
    if (!rig.host().announced(PIN_OUT_L).empty() || !rig.host().announced(PIN_OUT_R).empty()) {
        why = what + " made the instance announce an output state";
        return false;
    }
    std::mt19937 random(1);
    rig.fill_random(random);
    if (!rig.process_exact(0, rig.block_size(), why)) {
        why = "after " + what + ": " + why;
        return false;
    }
    return true;
}

bool unknown_opcodes(SeValidateContext& context, std::string& why) {
    SeGainRig rig(context, 128);
    if (!rig.open(why)) {
        return false;
    }
    rig.host().clear_log();
    int junk = 0;
    for (int32_t opcode : {4, 5, 7, 9, 10, 11, 14, 15, 22, 100, 1000, -1, -2, INT_MAX, INT_MIN}) {
        for (void* ptr : {static_cast<void*>(nullptr), static_cast<void*>(&junk)}) {
            const int32_t result = rig.dispatch(opcode, 3, 77, ptr, 1.5f);
            if (result != 0) {
                why = "dispatcher opcode " + std::to_string(opcode) + " answered " +
                      std::to_string(result) + "; an opcode without meaning answers 0";
                return false;
            }
        }
    }
    if (junk != 0) {
        why = "an opcode without meaning wrote through its pointer argument";
        return false;
    }
    return still_exact(rig, rig.running_routine(), "opcodes without meaning", why);
}

bool null_arguments(SeValidateContext& context, std::string& why) {
    // No host callback at all: the instance is still made, opens with no pins and closes.
    for (int32_t round = 0; round < 3; ++round) {
        SEMod_struct_base2* record = context.library.make_module(0, 1, nullptr, nullptr);
        if (record == nullptr) {
            why = "makeModule with a null callback returned null";
            return false;
        }
        if (round > 0) {
            record->dispatcher_ptr(record, MOD_SET_SAMPLE_RATE, 0, 0, nullptr, 48000.0f);
            record->dispatcher_ptr(record, MOD_SET_BLOCK_SIZE, 0, 64, nullptr, 0.0f);
            record->dispatcher_ptr(record, MOD_OPEN, 0, 0, nullptr, 0.0f);
            record->sub_process_ptr(record->object_ptr, 0, 0);
            record->dispatcher_ptr(record, MOD_RESUME, 0, 0, nullptr, 0.0f);
        }
        if (round > 1) {
            record->dispatcher_ptr(record, MOD_GUI_NOTIFY, 0, 0, nullptr, 0.0f);
            record->dispatcher_ptr(record, MOD_GET_SUB_PROCESS_INFO, 0, 0, nullptr, 0.0f);
        }
        if (record->dispatcher_ptr(record, MOD_CLOSE, 0, 0, nullptr, 0.0f) != 1) {
            why = "MOD_CLOSE of an instance without a host callback did not answer 1";
            return false;
        }
    }
    // Null pointers and odd indexes where the opcode takes none, on a live instance.
    SeGainRig rig(context, 128);
    if (!rig.open(why)) {
        return false;
    }
    rig.host().clear_log();
    const int32_t results[] = {
        rig.dispatch(MOD_GUI_NOTIFY, 1, 2, nullptr),
        rig.dispatch(MOD_RESUME, -1),
        rig.dispatch(MOD_RESUME, 0),
        rig.dispatch(MOD_RESUME, 3),
        rig.dispatch(MOD_SET_SAMPLE_RATE, -7, INT_MIN),
        rig.dispatch(MOD_GUI_NOTIFY, INT_MIN, INT_MAX),
    };
    for (int32_t result : results) {
        if (result != 0) {
            why = "a notice with null or odd arguments answered " + std::to_string(result) +
                  ", not 0";
            return false;
        }
    }
    return still_exact(rig, rig.running_routine(), "null and odd arguments", why);
}

bool out_of_range_sizes(SeValidateContext& context, std::string& why) {
    SeGainRig rig(context, 128);
    if (!rig.open(why)) {
        return false;
    }
    for (int32_t size : {0, -1, INT_MIN, INT_MAX}) {
        rig.dispatch(MOD_SET_BLOCK_SIZE, 0, size);
    }
    rig.dispatch(MOD_SET_BLOCK_SIZE, 0, 128);
    rig.host().clear_log();
    return still_exact(rig, rig.running_routine(), "absurd block sizes", why);
}

bool unknown_pins(SeValidateContext& context, std::string& why) {
    SeGainRig rig(context, 128);
    if (!rig.open(why)) {
        return false;
    }
    rig.host().clear_log();
    for (intptr_t pin : {intptr_t{5}, intptr_t{6}, intptr_t{100}, intptr_t{-1}, intptr_t{INT_MIN},
                         intptr_t{INT_MAX}}) {
        for (int32_t state : {STATE_STOPPED, STATE_ONE_OFF, STATE_RUNNING}) {
            rig.deliver(
                SeEvent(rig.host().clock(), EV_PIN_STATUS, state, 0, reinterpret_cast<void*>(pin)));
        }
    }
    return still_exact(rig, rig.running_routine(), "pin-status events for pins that do not exist",
                       why);
}

bool unknown_events(SeValidateContext& context, std::string& why) {
    SeGainRig rig(context, 128);
    if (!rig.open(why)) {
        return false;
    }
    rig.host().clear_log();
    for (int32_t type : {1, 3, 6, 20, 22, -1, 1000}) {
        rig.deliver(SeEvent(rig.host().clock(), type, STATE_STOPPED, 0, nullptr));
    }
    for (const SeHostCall& call : rig.host().calls()) {
        if (call.opcode != HOST_GET_SAMPLE_CLOCK) {
            why = "an event type without meaning made the instance send host opcode " +
                  std::to_string(call.opcode);
            return false;
        }
    }
    return still_exact(rig, rig.running_routine(), "event types without meaning", why);
}

} // namespace

void se_add_bad_input_checks(std::vector<SeValidateCheck>& checks) {
    checks.push_back({"bad_input.unknown_opcodes",
                      "dispatcher opcodes without meaning answer 0 and change nothing",
                      unknown_opcodes});
    checks.push_back({"bad_input.null_arguments",
                      "a null host callback and null or odd arguments are survived",
                      null_arguments});
    checks.push_back({"bad_input.block_sizes", "zero, negative and huge block sizes are survived",
                      out_of_range_sizes});
    checks.push_back({"bad_input.unknown_pins",
                      "pin-status events for pins that do not exist are ignored", unknown_pins});
    checks.push_back(
        {"bad_input.unknown_events", "event types without meaning are ignored", unknown_events});
}
