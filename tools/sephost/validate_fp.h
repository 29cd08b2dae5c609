// The floating-point control state a module must leave as it found it: the SSE control and
// status register's control bits and the x87 control word.
#pragma once

#include <cstdint>
#include <string>

struct SeFpState {
    uint32_t mxcsr; // control bits only: the exception flags are sticky results of arithmetic
    uint16_t x87;
};

SeFpState se_fp_state();
void se_set_fp_state(const SeFpState& state);
bool operator==(const SeFpState& a, const SeFpState& b);
std::string se_describe_fp(const SeFpState& state);
