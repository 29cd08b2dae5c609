#include "validate_fp.h"

#include <cstdio>
#include <xmmintrin.h>

namespace {
constexpr uint32_t kMxcsrFlagBits = 0x3F;
}

SeFpState se_fp_state() {
    SeFpState state;
    state.mxcsr = _mm_getcsr() & ~kMxcsrFlagBits;
    uint16_t cw = 0;
    asm volatile("fnstcw %0" : "=m"(cw));
    state.x87 = cw;
    return state;
}

void se_set_fp_state(const SeFpState& state) {
    _mm_setcsr((_mm_getcsr() & kMxcsrFlagBits) | state.mxcsr);
    uint16_t cw = state.x87;
    asm volatile("fldcw %0" : : "m"(cw));
}

bool operator==(const SeFpState& a, const SeFpState& b) {
    return a.mxcsr == b.mxcsr && a.x87 == b.x87;
}

std::string se_describe_fp(const SeFpState& state) {
    char text[64];
    std::snprintf(text, sizeof text, "MXCSR 0x%04X, x87 control word 0x%04X",
                  static_cast<unsigned>(state.mxcsr), static_cast<unsigned>(state.x87));
    return text;
}
