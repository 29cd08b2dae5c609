// One fuzz input played as the life of gain instances under a well-behaved host: dispatcher
// requests with arbitrary arguments, pin-status events for any pin and state, processing calls
// inside the buffers, block size and sample rate changes, close and re-create. After every step
// the outputs must equal the double-precision reference and every announced state must be a
// state_type. A broken rule aborts the process, which both libFuzzer and ctest see as a failure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "library.h"

// Plays `data` against instances made by `library`, whose outputs are input x gain x
// `gain_factor`. Assertion reports are expected for bad input and are silenced meanwhile.
void play_gain_session(const SeLibrary& library, int32_t gain_factor, const uint8_t* data,
                       size_t size);

// The gain_factor of the variant table row whose display name the library reports; 0 when the
// library describes no module or none of the rows.
int32_t gain_factor_of(const SeLibrary& library);
