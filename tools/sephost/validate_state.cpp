// State evaluation: the output state announced for each combination of input states and values,
// whether an announced static output really stays constant, the static countdown and sleep.
#include <cmath>
#include <limits>
#include <random>

#include "validate_rig.h"

namespace {

struct InputCase {
    state_type state;
    float value; // for a static input; a streaming one gets random samples
};

struct StateCase {
    const char* name;
    InputCase inputs[3]; // In L, In R, Gain aspect
    state_type expected;
};

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr InputCase kStreams = {STATE_RUNNING, 0.0f};

// A channel's output varies while its input and the gain are no static zeros and one of them
// streams; either channel varying keeps both running. Otherwise the highest input state, made
// STATE_ONE_OFF by any static zero.
const StateCase kCases[] = {
    {"all three streaming", {kStreams, kStreams, kStreams}, STATE_RUNNING},
    {"In L static 0.0, In R and gain streaming",
     {{STATE_STOPPED, 0.0f}, kStreams, kStreams},
     STATE_RUNNING},
    {"In L static 0.0, In R static 0.3, gain streaming",
     {{STATE_STOPPED, 0.0f}, {STATE_STOPPED, 0.3f}, kStreams},
     STATE_RUNNING},
    {"In R static 0.0 after a one-off change, In L and gain streaming",
     {kStreams, {STATE_ONE_OFF, 0.0f}, kStreams},
     STATE_RUNNING},
    {"In L and In R static 0.0, gain streaming",
     {{STATE_STOPPED, 0.0f}, {STATE_STOPPED, 0.0f}, kStreams},
     STATE_ONE_OFF},
    {"gain static 0.0, both inputs streaming",
     {kStreams, kStreams, {STATE_STOPPED, 0.0f}},
     STATE_ONE_OFF},
    {"all stopped, non-zero",
     {{STATE_STOPPED, 0.5f}, {STATE_STOPPED, 0.25f}, {STATE_STOPPED, 0.75f}},
     STATE_STOPPED},
    {"all stopped, In R 0.0",
     {{STATE_STOPPED, 0.5f}, {STATE_STOPPED, 0.0f}, {STATE_STOPPED, 0.75f}},
     STATE_ONE_OFF},
    {"In L and In R static -0.0, gain streaming",
     {{STATE_STOPPED, -0.0f}, {STATE_STOPPED, -0.0f}, kStreams},
     STATE_ONE_OFF},
    {"all stopped, In L NaN",
     {{STATE_STOPPED, kNaN}, {STATE_STOPPED, 0.25f}, {STATE_STOPPED, 0.75f}},
     STATE_STOPPED},
    {"In L one-off 0.5, others stopped non-zero",
     {{STATE_ONE_OFF, 0.5f}, {STATE_STOPPED, 0.25f}, {STATE_STOPPED, 0.75f}},
     STATE_ONE_OFF},
    {"In L streaming, In R and gain stopped non-zero",
     {kStreams, {STATE_STOPPED, 0.25f}, {STATE_STOPPED, 0.75f}},
     STATE_RUNNING},
};

constexpr int32_t kBlock = 64;
constexpr uint32_t kClock = 1000;

const char* state_name(int32_t state) {
    switch (state) {
    case STATE_STOPPED:
        return "STATE_STOPPED";
    case STATE_ONE_OFF:
        return "STATE_ONE_OFF";
    case STATE_RUNNING:
        return "STATE_RUNNING";
    default:
        return "an unknown state";
    }
}

void fill_case(SeGainRig& rig, const StateCase& c, std::mt19937& random) {
    rig.fill_random(random);
    for (int32_t pin = 0; pin < 3; ++pin) {
        if (c.inputs[pin].state != STATE_RUNNING) {
            rig.fill_input(pin, c.inputs[pin].value);
        }
    }
}

// Opens an instance, fills the inputs for the case and delivers its three input states.
bool evaluate(SeGainRig& rig, const StateCase& c, std::mt19937& random, std::string& why) {
    if (!rig.open(why)) {
        return false;
    }
    rig.host().set_clock(kClock);
    fill_case(rig, c, random);
    // A one-off state falls back to stopped once told, so a one-off input is delivered last:
    // the last evaluation then sees it.
    for (bool one_off : {false, true}) {
        for (int32_t pin = 0; pin < 3; ++pin) {
            if ((c.inputs[pin].state == STATE_ONE_OFF) == one_off) {
                rig.host().clear_log();
                rig.deliver_state(pin, c.inputs[pin].state);
            }
        }
    }
    return true;
}

bool evaluation(SeValidateContext& context, std::string& why) {
    std::mt19937 random(context.seed);
    for (const StateCase& c : kCases) {
        SeGainRig rig(context, kBlock);
        if (!evaluate(rig, c, random, why)) {
            return false;
        }
        const std::string prefix = std::string(c.name) + ": ";
        const auto& left = rig.host().announced(PIN_OUT_L);
        const auto& right = rig.host().announced(PIN_OUT_R);
        if (left.size() != 1 || right.size() != 1) {
            why = prefix + "an input state change announced " + std::to_string(left.size()) +
                  " states on Out L and " + std::to_string(right.size()) +
                  " on Out R; one each is due";
            return false;
        }
        if (left[0].state != c.expected || right[0].state != c.expected) {
            why = prefix + "announced " + state_name(left[0].state) + " and " +
                  state_name(right[0].state) + ", expected " + state_name(c.expected);
            return false;
        }
        if (left[0].clock != kClock || right[0].clock != kClock) {
            why = prefix + "the announcement is not stamped with the event's sample clock";
            return false;
        }
        for (const SeHostCall& call : rig.host().calls()) {
            if (call.opcode == HOST_GET_BLOCK_START && call.index >= 0 && call.index < 3 &&
                c.inputs[call.index].state == STATE_RUNNING) {
                why = prefix + "read the value of " + kGainPinNames[call.index] + ", which streams";
                return false;
            }
        }
        const bool running = rig.record()->sub_process_ptr == rig.running_routine();
        if (running != (c.expected == STATE_RUNNING)) {
            why = prefix + (running ? "kept the running routine although its outputs are static"
                                    : "left the running routine although an output streams");
            return false;
        }
        rig.fill_outputs_with_sentinel();
        if (!rig.process_exact(0, kBlock, why)) {
            why = prefix + why;
            return false;
        }
    }
    return true;
}

bool honest_static(SeValidateContext& context, std::string& why) {
    std::mt19937 random(context.seed);
    for (const StateCase& c : kCases) {
        SeGainRig rig(context, kBlock);
        if (!evaluate(rig, c, random, why)) {
            return false;
        }
        const auto& announced = rig.host().announced(PIN_OUT_L);
        if (announced.empty() || announced.back().state == STATE_RUNNING) {
            continue;
        }
        // Announced static: whatever the streaming inputs do next, each output holds one value.
        float held[2] = {0.0f, 0.0f};
        bool first = true;
        for (int32_t block = 0; block < 3 && !rig.host().sleeping(); ++block) {
            fill_case(rig, c, random);
            const int32_t calls = rig.host().process_calls();
            rig.host().run_block(kBlock);
            if (rig.host().process_calls() == calls) {
                continue;
            }
            for (int32_t out = 0; out < 2; ++out) {
                const float* samples = rig.buffer(PIN_OUT_L + out);
                for (int32_t i = 0; i < kBlock; ++i) {
                    if (first && i == 0) {
                        held[out] = samples[0];
                    }
                    // Equal as numbers: the sign of a zero product follows the gain's sign.
                    const bool same = samples[i] == held[out] ||
                                      (std::isnan(samples[i]) && std::isnan(held[out]));
                    if (!same) {
                        why = std::string(c.name) + ": " + kGainPinNames[PIN_OUT_L + out] +
                              " was announced " + state_name(announced.back().state) +
                              " but changed from " + se_describe_sample(held[out]) + " to " +
                              se_describe_sample(samples[i]);
                        return false;
                    }
                }
            }
            first = false;
        }
    }
    return true;
}

struct CountdownCase {
    int32_t block_size;
    int32_t counts[4]; // processing calls after the static evaluation; 0 ends (unless first)
    int32_t n;
    int32_t sleeps[4]; // sleep requests counted after each call
};

const CountdownCase kCountdowns[] = {
    {1024, {600, 600, 600}, 3, {0, 1, 2}},
    {64, {63, 1, 0}, 3, {0, 1, 2}},
    {1, {1, 1}, 2, {1, 2}},
    {4096, {2048, 2047, 1, 5}, 4, {0, 0, 1, 2}},
};

bool make_static(SeGainRig& rig, std::string& why) {
    rig.fill_input(PIN_IN_L, 0.5f);
    rig.fill_input(PIN_IN_R, 0.25f);
    rig.fill_input(PIN_GAIN, 0.5f);
    rig.deliver_state(PIN_GAIN, STATE_STOPPED);
    rig.deliver_state(PIN_IN_L, STATE_STOPPED);
    rig.deliver_state(PIN_IN_R, STATE_STOPPED);
    if (rig.record()->sub_process_ptr == rig.running_routine()) {
        why = "three stopped non-zero inputs left the running routine in place";
        return false;
    }
    return true;
}

bool countdown(SeValidateContext& context, std::string& why) {
    for (const CountdownCase& c : kCountdowns) {
        SeGainRig rig(context, 64);
        if (!rig.open(why)) {
            return false;
        }
        // The size set after MOD_OPEN is the one the countdown starts from.
        rig.set_block_size(c.block_size);
        if (!make_static(rig, why)) {
            return false;
        }
        rig.host().clear_log();
        int32_t done = 0;
        for (int32_t k = 0; k < c.n; ++k) {
            rig.process(0, c.counts[k]);
            done += c.counts[k];
            if (rig.host().sleep_requests() != c.sleeps[k]) {
                why = "block size " + std::to_string(c.block_size) + ": after " +
                      std::to_string(done) + " static samples in " + std::to_string(k + 1) +
                      " calls there were " + std::to_string(rig.host().sleep_requests()) +
                      " sleep requests, expected " + std::to_string(c.sleeps[k]);
                return false;
            }
        }
        for (const SeHostCall& call : rig.host().calls()) {
            if (call.opcode == HOST_SLEEP &&
                (call.index != 0 || call.value != 0 || call.ptr != nullptr || call.opt != 0.0f)) {
                why = "HOST_SLEEP carries arguments other than 0, 0, null, 0.0";
                return false;
            }
        }
    }
    return true;
}

bool reload(SeValidateContext& context, std::string& why) {
    SeGainRig rig(context, 1024);
    if (!rig.open(why) || !make_static(rig, why)) {
        return false;
    }
    rig.process(0, 600);
    // A new static evaluation starts a whole block again, also from the static routine.
    rig.deliver_state(PIN_IN_R, STATE_ONE_OFF);
    rig.host().clear_log();
    rig.process(0, 600);
    if (rig.host().sleep_requests() != 0) {
        why = "a static evaluation after 600 of 1024 samples did not reload the countdown";
        return false;
    }
    rig.process(0, 600);
    if (rig.host().sleep_requests() != 1) {
        why = "the reloaded countdown did not end after a block";
        return false;
    }
    return true;
}

bool sleep_and_wake(SeValidateContext& context, std::string& why) {
    SeGainRig rig(context, 256);
    if (!rig.open(why)) {
        return false;
    }
    std::mt19937 random(context.seed);
    for (int32_t block = 0; block < 8; ++block) {
        rig.fill_random(random);
        rig.host().run_block(256);
    }
    if (rig.host().sleep_requests() != 0) {
        why = "the running routine asked for sleep";
        return false;
    }
    if (!make_static(rig, why)) {
        return false;
    }
    for (int32_t block = 0; block < 3; ++block) {
        rig.host().run_block(256);
    }
    if (!rig.host().sleeping()) {
        why = "static for three blocks, the instance never asked for sleep";
        return false;
    }
    // Woken by a streaming input, the instance runs again and computes every sample.
    rig.host().set_input_state(PIN_IN_L, STATE_RUNNING);
    rig.host().clear_log();
    rig.fill_random(random);
    rig.host().run_block(256);
    if (rig.record()->sub_process_ptr != rig.running_routine() ||
        rig.host().sleep_requests() != 0) {
        why = "a streaming input did not bring the running routine back";
        return false;
    }
    rig.fill_random(random);
    return rig.process_exact(0, 256, why);
}

bool opens_running(SeValidateContext& context, std::string& why) {
    SeGainRig rig(context, 128);
    if (!rig.describe(why)) {
        return false;
    }
    const SeProcessFn idle = rig.record()->sub_process_ptr;
    rig.host().clear_log();
    rig.dispatch(MOD_OPEN);
    if (rig.record()->sub_process_ptr == idle || rig.host().routine_changes() == 0) {
        why = "MOD_OPEN did not install a new routine announced by HOST_SUB_PROCESS_CHANGED";
        return false;
    }
    std::mt19937 random(context.seed);
    rig.fill_random(random);
    return rig.process_exact(0, 128, why);
}

} // namespace

void se_add_state_checks(std::vector<SeValidateCheck>& checks) {
    checks.push_back({"state.opens_running",
                      "MOD_OPEN installs and announces the running routine, which streams at once",
                      opens_running});
    checks.push_back({"state.evaluation",
                      "each combination of input states announces the right state on both outputs "
                      "and picks the right routine",
                      evaluation});
    checks.push_back({"state.honest_static",
                      "an output announced static stays constant while the instance runs",
                      honest_static});
    checks.push_back(
        {"state.countdown",
         "the static routine counts the block size down and then asks for sleep on every call",
         countdown});
    checks.push_back({"state.reload", "every static evaluation reloads the countdown", reload});
    checks.push_back(
        {"state.sleep_and_wake",
         "the running routine never asks for sleep; a streaming input wakes a sleeping instance",
         sleep_and_wake});
}
