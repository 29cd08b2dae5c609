// The processing routines' arithmetic, their buffer offset and sample count, and the order in
// which they read and write when the host hands one buffer to two pins.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "gain_fixture.h"
#include "variants_table.h"

namespace {

constexpr int32_t kLength = 1024; // the block size, and so the length of every buffer

// The smallest float above 1: its square needs more than single precision.
const float kOnePlusUlp = std::nextafter(1.0f, 2.0f);

struct RoundingExample {
    const char* file_name;
    float out;       // (1 + 2^-23)^2 x gain_factor, rounded once
    float two_steps; // what rounding after each multiplication gives; equal when it cannot differ
};

TEST(GainArithmetic, RoundsTheWholeProductOnceToSinglePrecision) {
    const RoundingExample examples[] = {
        {"Tarnelle.sep", 5.000001430511475f, 5.000000953674316f},
        {"Quillet.sep", 2.000000476837158f, 2.000000476837158f},
    };
    for (const RoundingExample& example : examples) {
        SCOPED_TRACE(example.file_name);
        const GainLibrary* library = loadGainLibrary(example.file_name);
        ASSERT_NE(nullptr, library);
        // The integer oracle that the block tests rely on agrees with the worked examples.
        EXPECT_EQ(example.out,
                  exactGainProduct(kOnePlusUlp, kOnePlusUlp, library->row->gain_factor));

        HostInstance host(library->library, kLength);
        host.describe_and_open();
        host.input(PIN_IN_L)[0] = kOnePlusUlp;
        host.input(PIN_IN_R)[0] = kOnePlusUlp;
        host.input(PIN_GAIN)[0] = kOnePlusUlp;
        callRoutine(host, 0, 1);
        EXPECT_EQ(example.out, host.output(PIN_OUT_L)[0]);
        EXPECT_EQ(example.out, host.output(PIN_OUT_R)[0]);
        if (example.two_steps != example.out) {
            EXPECT_NE(example.two_steps, host.output(PIN_OUT_L)[0]);
        }
    }
}

TEST(GainArithmetic, EveryLibraryScalesByItsOwnFactorWithOneRounding) {
    std::vector<float> in_l(kLength), in_r(kLength), gain(kLength);
    fillWithSignal(in_l.data(), kLength, 11);
    fillWithSignal(in_r.data(), kLength, 12);
    fillWithSignal(gain.data(), kLength, 13);
    for (const SeVariant& row : kVariantTable) {
        SCOPED_TRACE(row.file_name);
        const GainLibrary* library = loadGainLibrary(row.file_name);
        ASSERT_NE(nullptr, library);
        HostInstance host(library->library, kLength);
        host.describe_and_open();
        std::copy(in_l.begin(), in_l.end(), host.input(PIN_IN_L));
        std::copy(in_r.begin(), in_r.end(), host.input(PIN_IN_R));
        std::copy(gain.begin(), gain.end(), host.input(PIN_GAIN));
        callRoutine(host, 0, kLength);
        int mismatches = 0;
        for (int32_t i = 0; i < kLength && mismatches < 5; ++i) {
            const float want_l = exactGainProduct(in_l[i], gain[i], row.gain_factor);
            const float want_r = exactGainProduct(in_r[i], gain[i], row.gain_factor);
            if (want_l != host.output(PIN_OUT_L)[i] || want_r != host.output(PIN_OUT_R)[i]) {
                ++mismatches;
                ADD_FAILURE() << "sample " << i << ": Out L " << host.output(PIN_OUT_L)[i]
                              << " want " << want_l << ", Out R " << host.output(PIN_OUT_R)[i]
                              << " want " << want_r;
            }
        }
    }
}

struct Stretch {
    int32_t buffer_offset;
    int32_t sample_count;
};

// Odd lengths and offsets leave remainders for any loop that works several samples at a time.
const Stretch kStretches[] = {
    {0, 0}, {17, 0}, {0, -1}, {9, -1024}, {0, 1},    {1, 3},
    {3, 7}, {5, 13}, {2, 31}, {0, 1023},  {1, 1023}, {0, 1024},
};

TEST(GainStretch, WritesExactlyTheSamplesOfTheStretchInBothRoutines) {
    constexpr float kSentinel = -1234.5f;
    const GainLibrary* library = loadGainLibrary("Tarnelle.sep");
    ASSERT_NE(nullptr, library);
    const int32_t factor = library->row->gain_factor;
    for (const bool static_routine : {false, true}) {
        for (const Stretch& stretch : kStretches) {
            SCOPED_TRACE(testing::Message()
                         << (static_routine ? "static" : "running") << " routine, offset "
                         << stretch.buffer_offset << ", count " << stretch.sample_count);
            HostInstance host(library->library, kLength);
            host.describe_and_open();
            fillWithSignal(host.input(PIN_IN_L), kLength, 21);
            fillWithSignal(host.input(PIN_IN_R), kLength, 22);
            fillWithSignal(host.input(PIN_GAIN), kLength, 23);
            if (static_routine) {
                // Every input stopped on a non-zero value: STATE_STOPPED, the static routine.
                const SeProcessFn running = host.record()->sub_process_ptr;
                deliverNow(host, PIN_GAIN, STATE_STOPPED);
                ASSERT_FALSE(runsRoutine(host, running));
            }
            std::fill_n(host.output(PIN_OUT_L), kLength, kSentinel);
            std::fill_n(host.output(PIN_OUT_R), kLength, kSentinel);
            const std::vector<float> in_l(host.input(PIN_IN_L), host.input(PIN_IN_L) + kLength);
            const std::vector<float> in_r(host.input(PIN_IN_R), host.input(PIN_IN_R) + kLength);
            const std::vector<float> gain(host.input(PIN_GAIN), host.input(PIN_GAIN) + kLength);

            callRoutine(host, stretch.buffer_offset, stretch.sample_count);

            const int32_t end = stretch.buffer_offset + std::max(stretch.sample_count, 0);
            int wrong = 0;
            for (int32_t i = 0; i < kLength && wrong < 3; ++i) {
                const bool inside = i >= stretch.buffer_offset && i < end;
                const float want_l =
                    inside ? exactGainProduct(in_l[i], gain[i], factor) : kSentinel;
                const float want_r =
                    inside ? exactGainProduct(in_r[i], gain[i], factor) : kSentinel;
                if (host.output(PIN_OUT_L)[i] != want_l || host.output(PIN_OUT_R)[i] != want_r) {
                    ++wrong;
                    ADD_FAILURE() << "sample " << i << (inside ? " inside" : " outside")
                                  << " the stretch: Out L " << host.output(PIN_OUT_L)[i] << " want "
                                  << want_l << ", Out R " << host.output(PIN_OUT_R)[i] << " want "
                                  << want_r;
                }
            }
            EXPECT_TRUE(std::equal(in_l.begin(), in_l.end(), host.input(PIN_IN_L)));
            EXPECT_TRUE(std::equal(in_r.begin(), in_r.end(), host.input(PIN_IN_R)));
            EXPECT_TRUE(std::equal(gain.begin(), gain.end(), host.input(PIN_GAIN)));
        }
    }
}

// A host may hand an output's buffer to an input. Sample by sample, the left result is stored
// before the right channel reads its input, so with Out L = In R the right channel scales the left
// result of the same position; an output written over an input it has already read changes nothing.
struct AliasCase {
    const char* what;
    std::vector<std::pair<int32_t, int32_t>>
        shared; // (output pin, input pin whose buffer it writes)
};

TEST(GainAliasing, SharedBuffersGiveWhatTheSampleBySampleOrderGives) {
    const AliasCase cases[] = {
        {"Out L = In R", {{PIN_OUT_L, PIN_IN_R}}},
        {"Out R = In L", {{PIN_OUT_R, PIN_IN_L}}},
        {"in place", {{PIN_OUT_L, PIN_IN_L}, {PIN_OUT_R, PIN_IN_R}}},
    };
    const GainLibrary* library = loadGainLibrary("Tarnelle.sep");
    ASSERT_NE(nullptr, library);
    const int32_t factor = library->row->gain_factor;
    for (const AliasCase& alias : cases) {
        SCOPED_TRACE(alias.what);
        HostInstance host(library->library, kLength);
        host.describe_and_open();
        // The model: five buffers, the shared ones replaced by their input's, walked in order.
        int32_t buffer_of[kGainPinCount] = {0, 1, 2, 3, 4};
        for (const auto& [output, input] : alias.shared) {
            host.set_pin_buffer(output, host.input(input));
            buffer_of[output] = input;
        }
        std::vector<std::vector<float>> model(kGainPinCount, std::vector<float>(kLength, 0.0f));
        for (int32_t pin = 0; pin < 3; ++pin) {
            fillWithSignal(host.input(pin), kLength, 31 + pin);
            std::copy_n(host.input(pin), kLength, model[pin].begin());
        }
        constexpr int32_t kOffset = 3;
        constexpr int32_t kCount = 1001;
        for (int32_t i = kOffset; i < kOffset + kCount; ++i) {
            const float gain = model[buffer_of[PIN_GAIN]][i];
            model[buffer_of[PIN_OUT_L]][i] =
                exactGainProduct(model[buffer_of[PIN_IN_L]][i], gain, factor);
            model[buffer_of[PIN_OUT_R]][i] =
                exactGainProduct(model[buffer_of[PIN_IN_R]][i], gain, factor);
        }

        callRoutine(host, kOffset, kCount);

        int wrong = 0;
        for (int32_t pin = 0; pin < kGainPinCount; ++pin) {
            for (int32_t i = 0; i < kLength && wrong < 3; ++i) {
                if (host.input(pin)[i] != model[buffer_of[pin]][i]) {
                    ++wrong;
                    ADD_FAILURE() << "pin " << pin << " sample " << i << ": " << host.input(pin)[i]
                                  << " want " << model[buffer_of[pin]][i];
                }
            }
        }
    }
}

} // namespace
