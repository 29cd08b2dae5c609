#include "Module.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "gain_kernel.h"
#include "variant.h"

namespace {

struct PinRow {
    const char* name;
    EDirection direction;
    const char* default_value; // null for outputs, which have none
    float* Module::*variable;
};

} // namespace

Module::Module(SeAudioMasterFn host_callback, void* host_reserved)
    : SEModule_base(host_callback, host_reserved) {}

Module::~Module() = default;

bool Module::getModuleProperties(SEModuleProperties* properties) {
    properties->name = kVariant.display_name;
    properties->id = kVariant.identifier;
    properties->about = kAboutText;
    return true;
}

bool Module::getPinProperties(int32_t index, SEPinProperties* properties) {
    // The gain is the third pin but the fifth field: the table, not the field order, binds them.
    static const PinRow kPins[kPinCount] = {
        {"In L", DR_IN, "0", &Module::m_in_l},
        {"In R", DR_IN, "0", &Module::m_in_r},
        {"Gain aspect", DR_IN, "0.1", &Module::m_gain},
        {"Out L", DR_OUT, nullptr, &Module::m_out_l},
        {"Out R", DR_OUT, nullptr, &Module::m_out_r},
    };
    if (static_cast<uint32_t>(index) >= static_cast<uint32_t>(kPinCount)) {
        return false;
    }
    const PinRow& row = kPins[index];
    properties->variable_ptr = &(this->*row.variable);
    properties->direction = row.direction;
    properties->datatype = DT_FSAMPLE;
    properties->name = row.name;
    if (row.default_value != nullptr) {
        properties->default_value = row.default_value;
    }
    return true;
}

void Module::open() {
    SEModule_base::open();
    setSubProcess(static_cast<SeProcessMember>(&Module::sub_process));
}

void SE_CALL Module::sub_process(int32_t buffer_offset, int32_t sample_count) {
    // The kernel keeps the sample order's results for every overlap of the buffers a host may
    // hand over (Out L on In R, in place, partial overlaps): see gain_kernel.h.
    gain_process(m_in_l + buffer_offset, m_in_r + buffer_offset, m_gain + buffer_offset,
                 m_out_l + buffer_offset, m_out_r + buffer_offset, sample_count,
                 kVariant.gain_factor);
}

void SE_CALL Module::sub_process_static(int32_t buffer_offset, int32_t sample_count) {
    sub_process(buffer_offset, sample_count);
    // Saturating both ways: absurd counts (negative ones raise the count) must not wrap it.
    const int64_t left = static_cast<int64_t>(m_static_count) - sample_count;
    m_static_count = static_cast<int32_t>(std::clamp<int64_t>(left, INT32_MIN, INT32_MAX));
    if (m_static_count <= 0) {
        CallHost(HOST_SLEEP, 0, 0, nullptr, 0.0f);
    }
}

void Module::OnPlugStateChange(SEPin*) {
    SEPin* inputs[3] = {getPin(PN_IN_L), getPin(PN_IN_R), getPin(PN_GAIN)};
    SEPin* out_l = getPin(PN_OUT_L);
    SEPin* out_r = getPin(PN_OUT_R);
    if (!inputs[0] || !inputs[1] || !inputs[2] || !out_l || !out_r) {
        return; // the host gave this instance fewer pins than it describes; getPin reported it
    }

    state_type state[3];
    for (int k = 0; k < 3; ++k) {
        state[k] = inputs[k]->getStatus();
    }
    // Values of streaming inputs are never read. -0.0 compares equal to 0.0; NaN does not.
    bool static_zero[3];
    for (int k = 0; k < 3; ++k) {
        static_zero[k] = state[k] < STATE_RUNNING && inputs[k]->getValue() == 0.0f;
    }

    // A channel's output varies while its input and the gain are not static zeros and one of
    // them streams. Either channel varying keeps the instance running: a static zero on one
    // channel must not silence the other.
    const auto channel_varies = [&](int input) {
        return !static_zero[input] && !static_zero[PN_GAIN] &&
               std::max(state[input], state[PN_GAIN]) >= STATE_RUNNING;
    };

    state_type out_state;
    if (channel_varies(PN_IN_L) || channel_varies(PN_IN_R)) {
        out_state = STATE_RUNNING;
    } else {
        // A host may report a state below the known ones; announce none outside them.
        out_state = std::max({STATE_STOPPED, state[0], state[1], state[2]});
        if (static_zero[0] || static_zero[1] || static_zero[2]) {
            out_state = STATE_ONE_OFF;
        }
    }

    out_l->TransmitStatusChange(SampleClock(), out_state);
    out_r->TransmitStatusChange(SampleClock(), out_state);

    if (out_state >= STATE_RUNNING) {
        setSubProcess(static_cast<SeProcessMember>(&Module::sub_process));
    } else {
        m_static_count = getBlockSize();
        setSubProcess(static_cast<SeProcessMember>(&Module::sub_process_static));
    }
}
