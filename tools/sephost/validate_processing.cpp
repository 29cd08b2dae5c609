// Processing exactness against the double-precision reference: block sizes, offsets, counts,
// in-place and aliased buffers, the single rounding, special values and the FP control state.
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

#include "validate_rig.h"

namespace {

bool block_sizes(SeValidateContext& context, std::string& why) {
    std::mt19937 random(context.seed);
    std::vector<int32_t> sizes = {0, 1, 17, 2027, 4096};
    std::uniform_int_distribution<int32_t> any_size(2, 8192);
    for (int k = 0; k < 4; ++k) {
        sizes.push_back(any_size(random));
    }
    SeGainRig rig(context, 64);
    if (!rig.open(why)) {
        return false;
    }
    for (int32_t size : sizes) {
        rig.set_block_size(size);
        rig.fill_random(random);
        if (!rig.process_exact(0, size, why)) {
            return false;
        }
    }
    return true;
}

bool offsets(SeValidateContext& context, std::string& why) {
    std::mt19937 random(context.seed);
    SeGainRig rig(context, 2027);
    if (!rig.open(why)) {
        return false;
    }
    const int32_t stretches[][2] = {{1, 1}, {3, 17}, {7, 1000}, {13, 2014}, {2026, 1}, {999, 0}};
    for (const auto& stretch : stretches) {
        rig.fill_random(random);
        if (!rig.process_exact(stretch[0], stretch[1], why)) {
            return false;
        }
    }
    // One block cut into odd stretches, as a host cuts it at event times.
    rig.fill_random(random);
    int32_t offset = 0;
    for (int32_t length : {5, 1, 333, 17, 1000, 671}) {
        if (!rig.process_exact(offset, length, why)) {
            return false;
        }
        offset += length;
    }
    return true;
}

bool empty_counts(SeValidateContext& context, std::string& why) {
    std::mt19937 random(context.seed);
    SeGainRig rig(context, 256);
    if (!rig.open(why)) {
        return false;
    }
    for (int32_t offset : {0, 100}) {
        for (int32_t count : {0, -1, -256}) {
            rig.fill_random(random);
            if (!rig.process_exact(offset, count, why)) {
                return false;
            }
        }
    }
    return true;
}

bool aliasing(SeValidateContext& context, std::string& why) {
    struct Layout {
        const char* name;
        int32_t shares[2][2]; // {pin, pin whose buffer it takes}; {0, 0} is no sharing
    };
    const Layout layouts[] = {
        {"in place (Out L on In L, Out R on In R)", {{PIN_OUT_L, PIN_IN_L}, {PIN_OUT_R, PIN_IN_R}}},
        {"Out L on In R", {{PIN_OUT_L, PIN_IN_R}, {0, 0}}},
        {"Out R on In L", {{PIN_OUT_R, PIN_IN_L}, {0, 0}}},
        {"crossed (Out L on In R, Out R on In L)", {{PIN_OUT_L, PIN_IN_R}, {PIN_OUT_R, PIN_IN_L}}},
        {"both inputs on one buffer", {{PIN_IN_R, PIN_IN_L}, {0, 0}}},
    };
    std::mt19937 random(context.seed);
    for (const Layout& layout : layouts) {
        SeGainRig rig(context, 509);
        for (const auto& share : layout.shares) {
            rig.share_buffer(share[0], share[1]);
        }
        if (!rig.open(why)) {
            return false;
        }
        rig.fill_random(random);
        if (!rig.process_exact(3, 500, why)) {
            why = std::string(layout.name) + ": " + why;
            return false;
        }
    }
    return true;
}

float rounded_twice(float input, float gain, int32_t factor) {
    const float product = input * gain;
    return product * static_cast<float>(factor);
}

bool single_rounding(SeValidateContext& context, std::string& why) {
    // Pairs whose result differs when the product is rounded before the factor is applied,
    // led by 1 + 2^-23 squared; for a power-of-two factor no such pair exists.
    std::mt19937 random(context.seed);
    std::uniform_real_distribution<float> sample(0.5f, 1.0f);
    std::vector<std::pair<float, float>> pairs;
    const float first = 1.0f + std::ldexp(1.0f, -23);
    pairs.push_back({first, first});
    for (int tries = 0; tries < 200000 && pairs.size() < 256; ++tries) {
        const float a = sample(random);
        const float b = sample(random);
        if (se_bits(rounded_twice(a, b, context.gain_factor)) !=
            se_bits(se_reference(a, b, context.gain_factor))) {
            pairs.push_back({a, b});
        }
    }
    const int32_t n = static_cast<int32_t>(pairs.size());
    SeGainRig rig(context, n);
    if (!rig.open(why)) {
        return false;
    }
    rig.fill_outputs_with_sentinel();
    for (int32_t i = 0; i < n; ++i) {
        rig.buffer(PIN_IN_L)[i] = pairs[i].first;
        rig.buffer(PIN_IN_R)[i] = pairs[i].first;
        rig.buffer(PIN_GAIN)[i] = pairs[i].second;
    }
    if (!rig.process_exact(0, n, why)) {
        for (int32_t i = 0; i < n; ++i) {
            if (se_bits(rig.buffer(PIN_OUT_L)[i]) ==
                    se_bits(rounded_twice(pairs[i].first, pairs[i].second, context.gain_factor)) &&
                se_bits(rig.buffer(PIN_OUT_L)[i]) !=
                    se_bits(se_reference(pairs[i].first, pairs[i].second, context.gain_factor))) {
                why = "rounds to single precision after each multiplication: " + why;
                break;
            }
        }
        return false;
    }
    return true;
}

bool special_values(SeValidateContext& context, std::string& why) {
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {0.0f,
                            -0.0f,
                            1.0f,
                            -1.0f,
                            inf,
                            -inf,
                            FLT_MAX,
                            -FLT_MAX,
                            FLT_MIN,
                            1e-40f,
                            -1e-45f,
                            3e38f,
                            std::numeric_limits<float>::quiet_NaN(),
                            0.1f,
                            1e-20f};
    const int32_t count = sizeof values / sizeof values[0];
    SeGainRig rig(context, count * count);
    if (!rig.open(why)) {
        return false;
    }
    rig.fill_outputs_with_sentinel();
    for (int32_t a = 0; a < count; ++a) {
        for (int32_t b = 0; b < count; ++b) {
            rig.buffer(PIN_IN_L)[a * count + b] = values[a];
            rig.buffer(PIN_IN_R)[a * count + b] = -values[b];
            rig.buffer(PIN_GAIN)[a * count + b] = values[b];
        }
    }
    return rig.process_exact(0, count * count, why);
}

bool fp_control(SeValidateContext& context, std::string& why) {
    // The host's own settings, whatever they are, must survive every entry of the module.
    const SeFpState host_states[] = {
        se_fp_state(),
        {0x1F80u | 0x8040u, 0x027F}, // flush-to-zero and denormals-are-zero; 53-bit x87
        {0x1F80u | 0x6000u, 0x0F7F}, // rounding toward zero in both units
    };
    for (const SeFpState& state : host_states) {
        const SeFpState saved = se_fp_state();
        se_set_fp_state(state);
        SeGainRig rig(context, 256);
        bool ok = rig.open(why);
        if (ok) {
            std::mt19937 random(context.seed);
            rig.fill_random(random);
            rig.process(0, 256);
            rig.dispatch(MOD_SET_SAMPLE_RATE, 0, 0, nullptr, 48000.0f);
            rig.set_block_size(128);
            rig.fill_input(PIN_GAIN, 0.0f);
            rig.deliver_state(PIN_GAIN, STATE_STOPPED);
            rig.process(0, 128);
            rig.process(0, 128);
            rig.deliver_state(PIN_GAIN, STATE_RUNNING);
            rig.process(0, 64);
            rig.dispatch(MOD_GET_SUB_PROCESS_INFO);
            rig.dispatch(MOD_RESUME);
            if (!rig.fp_fault().empty()) {
                why = rig.fp_fault();
                ok = false;
            }
        }
        se_set_fp_state(saved);
        if (!ok) {
            return false;
        }
    }
    return true;
}

} // namespace

void se_add_processing_checks(std::vector<SeValidateCheck>& checks) {
    checks.push_back({"processing.block_sizes",
                      "blocks of 0, 1, 17, 2027, 4096 and random sizes match the reference bit for "
                      "bit; nothing past the stretch is written",
                      block_sizes});
    checks.push_back(
        {"processing.offsets",
         "odd buffer offsets and a block cut into odd stretches write exactly their stretch",
         offsets});
    checks.push_back(
        {"processing.empty_counts", "a sample count of zero or less writes nothing", empty_counts});
    checks.push_back({"processing.aliasing",
                      "in-place and shared buffers give what sample-by-sample processing gives",
                      aliasing});
    checks.push_back({"processing.single_rounding",
                      "input x gain x factor is rounded once, not after each multiplication",
                      single_rounding});
    checks.push_back({"processing.special_values",
                      "zeros, infinities, denormals, extremes and NaN match the reference",
                      special_values});
    checks.push_back({"processing.fp_control",
                      "no entry changes the host's MXCSR or x87 control word", fp_control});
}
