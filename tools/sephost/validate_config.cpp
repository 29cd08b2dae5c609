// Sample rates and block sizes set at any time: before MOD_OPEN, between stretches, while static.
#include <cmath>
#include <limits>
#include <random>

#include "validate_rig.h"

namespace {

bool sample_rates(SeValidateContext& context, std::string& why) {
    const float rates[] = {8000.0f,   22050.0f,  48000.0f,
                           96000.0f,  192000.0f, 1.0f,
                           0.0f,      -44100.0f, std::numeric_limits<float>::infinity(),
                           12345.678f};
    std::mt19937 random(context.seed);
    SeGainRig rig(context, 512);
    rig.dispatch(MOD_SET_SAMPLE_RATE, 0, 0, nullptr, 96000.0f);
    if (!rig.open(why)) {
        return false;
    }
    for (float rate : rates) {
        rig.fill_random(random);
        if (!rig.process_exact(0, 200, why)) {
            return false;
        }
        rig.dispatch(MOD_SET_SAMPLE_RATE, 0, 0, nullptr, rate);
        if (!rig.process_exact(200, 312, why)) {
            why =
                "after MOD_SET_SAMPLE_RATE " + std::to_string(rate) + " between stretches: " + why;
            return false;
        }
    }
    return true;
}

bool block_sizes(SeValidateContext& context, std::string& why) {
    std::mt19937 random(context.seed);
    SeGainRig rig(context, 256);
    rig.dispatch(MOD_SET_BLOCK_SIZE, 0, 32);
    if (!rig.open(why)) {
        return false;
    }
    for (int32_t size : {64, 4096, 1, 2027, 17, 512}) {
        rig.fill_random(random);
        rig.process(0, rig.block_size() / 2);
        rig.set_block_size(size);
        rig.fill_random(random);
        if (!rig.process_exact(0, size, why)) {
            why = "after MOD_SET_BLOCK_SIZE " + std::to_string(size) + ": " + why;
            return false;
        }
    }
    // A size set while static takes effect at the next evaluation, which counts it down.
    rig.fill_input(PIN_IN_L, 0.5f);
    rig.fill_input(PIN_IN_R, 0.5f);
    rig.fill_input(PIN_GAIN, 0.5f);
    rig.deliver_state(PIN_GAIN, STATE_STOPPED);
    rig.deliver_state(PIN_IN_L, STATE_STOPPED);
    rig.deliver_state(PIN_IN_R, STATE_STOPPED);
    rig.set_block_size(100);
    rig.deliver_state(PIN_GAIN, STATE_ONE_OFF);
    rig.host().clear_log();
    rig.process(0, 99);
    rig.process(0, 1);
    if (rig.host().sleep_requests() != 1) {
        why = "with the block size changed to 100 while static, 99 + 1 samples made " +
              std::to_string(rig.host().sleep_requests()) + " sleep requests instead of 1";
        return false;
    }
    return true;
}

} // namespace

void se_add_config_checks(std::vector<SeValidateCheck>& checks) {
    checks.push_back({"config.sample_rates",
                      "sample rates set before MOD_OPEN and between stretches change no sample",
                      sample_rates});
    checks.push_back({"config.block_sizes",
                      "block sizes set at any time; the latest one is counted down", block_sizes});
}
