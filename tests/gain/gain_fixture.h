// What the gain tests share: the built libraries loaded by file name from the build's dist
// directory (each with its row of the variant table), the raw entries called directly where a
// test needs a stretch or an event the block driver would not produce, and an arithmetic oracle.
#pragma once

#include <cstdint>

#include "host_instance.h"
#include "library.h"
#include "variant.h"

enum GainPin : int32_t { PIN_IN_L = 0, PIN_IN_R = 1, PIN_GAIN = 2, PIN_OUT_L = 3, PIN_OUT_R = 4 };
constexpr int32_t kGainPinCount = 5;

struct GainLibrary {
    const SeVariant* row;
    SeLibrary library;
};

// Loaded once and kept for the whole program. Fails the calling test and returns null when the
// file is not a row of the variant table or does not load.
const GainLibrary* loadGainLibrary(const char* file_name);

// sub_process_ptr with any offset and count, as a host may pass them.
void callRoutine(HostInstance& host, int32_t buffer_offset, int32_t sample_count);
// An EV_PIN_STATUS event handed to event_handler_ptr at the host's current clock, which becomes
// the start of the next block.
void deliverNow(HostInstance& host, int32_t pin, state_type state);
bool runsRoutine(const HostInstance& host, SeProcessFn routine);

// The product input x gain x gain_factor rounded once to single precision, worked out in integer
// arithmetic so that it shares nothing with the module's floating-point path. For finite inputs
// whose product is zero or a normal single-precision number.
float exactGainProduct(float input, float gain, int32_t gain_factor);

// Fills `samples` with normal values of every significand pattern, both signs, magnitudes from
// 1/16 to 16: their products keep all their bits, so a second rounding shows. Deterministic.
void fillWithSignal(float* samples, int32_t count, uint32_t seed);
